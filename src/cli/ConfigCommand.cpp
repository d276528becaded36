// SPDX-License-Identifier: GPL-3.0-or-later
// `albumora config`: shows and changes a site's slot of soft.dat (download parameters, naming
// rules, options) with the checks of the window's settings dialogs, and the settings of
// albumora.toml that hold for every site.
#include "cli/ConfigCommand.h"

#include <cstdio>
#include <filesystem>
#include <functional>

#include "fs/ProgramFolder.h"
#include "model/Config.h"
#include "model/Settings.h"
#include "text/StringCtrl.h"

namespace albumora::cli {

namespace {

// The dialogs keep at most 38 characters in a 40-unit field.
constexpr size_t kMaxFieldUnits = kNameFieldUnits - 2;

size_t Utf16Units(const std::string& text) {
  size_t units = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xC0) == 0x80) continue;  // continuation byte
    units += byte >= 0xF0 ? 2 : 1;
  }
  return units;
}

bool ReadWord(const std::string& text, long low, long high, uint16_t& value) {
  if (text.empty() || text.size() > 6) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  const long number = std::stol(text);
  if (number < low || number > high) return false;
  value = static_cast<uint16_t>(number);
  return true;
}

struct Slot {
  DownParam& down;
  NameRule& rule;
};

struct Setting {
  const char* name;
  const char* help;
  std::function<std::string(const Slot&)> get;
  // Stores the value; false with error set when it is not acceptable.
  std::function<bool(Slot&, const std::string&, std::string&)> set;
  bool number = false;  // a JSON number, not a string
  bool truth = false;   // on/off: a JSON true or false, as albumora.toml writes switches
};

Setting Word(const char* name, const char* help, uint16_t DownParam::*field, long low, long high) {
  return {name, help, [field](const Slot& slot) { return std::to_string(slot.down.*field); },
          [=](Slot& slot, const std::string& value, std::string& error) {
            if (!ReadWord(value, low, high, slot.down.*field)) {
              error = std::string(name) + " takes a number from " + std::to_string(low) + " to " +
                      std::to_string(high);
              return false;
            }
            return true;
          },
          true};
}

Setting Text(const char* name, const char* help, NameField NameRule::*field) {
  return {name, help, [field](const Slot& slot) { return FieldText(slot.rule.*field); },
          [=](Slot& slot, const std::string& value, std::string& error) {
            if (Utf16Units(value) > kMaxFieldUnits) {
              error = std::string(name) + " holds at most " + std::to_string(kMaxFieldUnits) +
                      " characters";
              return false;
            }
            SetField(slot.rule.*field, value);
            return true;
          }};
}

Setting Choice(const char* name, const char* help, uint8_t NameRule::*field,
               std::vector<const char*> values) {
  return {name, help,
          [field, values](const Slot& slot) {
            const size_t at = slot.rule.*field;
            return at < values.size() ? std::string(values[at]) : std::to_string(at);
          },
          [=](Slot& slot, const std::string& value, std::string& error) {
            for (size_t i = 0; i < values.size(); ++i) {
              if (EqualsNoCase(value, values[i])) {
                slot.rule.*field = static_cast<uint8_t>(i);
                return true;
              }
            }
            error = std::string(name) + " takes one of:";
            for (const char* v : values) error += std::string(" ") + v;
            return false;
          }};
}

Setting Flag(const char* name, const char* help, uint16_t bit) {
  return {
      name,
      help,
      [bit](const Slot& slot) { return std::string((slot.rule.wOptions & bit) ? "on" : "off"); },
      [=](Slot& slot, const std::string& value, std::string& error) {
        const std::string v = Trim(value);
        if (EqualsNoCase(v, "on") || v == "1" || EqualsNoCase(v, "yes") ||
            EqualsNoCase(v, "true")) {
          slot.rule.wOptions |= bit;
        } else if (EqualsNoCase(v, "off") || v == "0" || EqualsNoCase(v, "no") ||
                   EqualsNoCase(v, "false")) {
          slot.rule.wOptions = static_cast<uint16_t>(slot.rule.wOptions & ~bit);
        } else {
          error = std::string(name) + " takes on or off";
          return false;
        }
        return true;
      },
      false,
      true};
}

const std::vector<Setting>& Settings() {
  static const std::vector<Setting> settings = {
      Word("threads", "pictures fetched at a time (1 to 15)", &DownParam::wThreads, kThreadsLow,
           kThreadsHigh),
      Word("timeout", "seconds a request may wait for data (10 or more)", &DownParam::wTimeout,
           kTimeoutLow, kWordHigh),
      Word("min-kb", "smallest picture kept, KB (0: no limit)", &DownParam::wMinKB, 0, kWordHigh),
      Word("max-kb", "largest picture kept, KB (0: no limit)", &DownParam::wMaxKB, 0, kWordHigh),
      Choice("name-mode", "file names from the description, the picture number or the address",
             &NameRule::byNameMode, {"description", "number", "address"}),
      Text("name-prefix", "text before each file name (?1 to ?8 placeholders)",
           &NameRule::szPrefix),
      Text("name-suffix", "text after each file name", &NameRule::szSuffix),
      Text("replace-from", "pieces of names to replace, separated by |", &NameRule::szFrom),
      Text("replace-to", "their replacements, separated by |", &NameRule::szTo),
      Choice("dir-mode", "album folders named after the album, or none", &NameRule::byDirMode,
             {"album", "none"}),
      Text("dir-prefix", "text before each album folder name", &NameRule::szDirPrefix),
      Text("dir-suffix", "text after each album folder name", &NameRule::szDirSuffix),
      Flag("fix-format", "rename files to the type their content shows", OPT_FIX_FORMAT),
      Flag("fix-order", "stamp file times in list order", OPT_FIX_ORDER),
      Flag("name-file", "keep a file of the pictures' original names per album", OPT_NAME_FILE),
      Flag("thunder-list", "write a Thunder list (.lst) instead of downloading", OPT_THUNDER_ONLY),
      Flag("open-folder", "name the save folder when a job downloaded something", OPT_OPEN_DIR),
      Flag("taobao-main", "Taobao and Tmall items: main pictures only", OPT_TAOBAO_MAIN),
      Flag("skip-old", "stop an album at the picture of the last download", OPT_SKIP_OLD),
  };
  return settings;
}

}  // namespace

std::string ConfigNamesHelp() {
  std::string text;
  for (const Setting& setting : Settings()) {
    char line[160];
    std::snprintf(line, sizeof line, "  %-13s %s\n", setting.name, setting.help);
    text += line;
  }
  text += std::string("\nIn ") + kConfigFileName + " (every site):\n";
  for (const ConfigSetting& setting : ConfigSettings()) {
    text += "  " + setting.name + "\n      " + setting.help + "\n";
  }
  return text;
}

namespace {

const ConfigSetting* FindConfigSetting(const std::string& name) {
  for (const ConfigSetting& setting : ConfigSettings()) {
    if (setting.name == name) return &setting;
  }
  return nullptr;
}

}  // namespace

int RunConfigCommand(const ConfigOptions& options) {
  const int site = options.site;
  if (site < 0 || site >= static_cast<int>(kSettingsSlots)) {
    return UsageError("config", "no settings slot for that site");
  }
  // Showing reads only, and so does a change until every value is found good: a missing
  // program folder or file stays missing.
  const bool changing = !options.sets.empty();
  InitProgramFolder(options.home, false);
  const std::filesystem::path file = ProgramFile("soft.dat");
  const std::filesystem::path configFile = ProgramFile(kConfigFileName);
  SettingsRecord record = ReadSettings(file);
  Config config;
  std::vector<std::string> problems;
  const bool configRead = LoadConfig(configFile, config, problems);
  for (const std::string& problem : problems) PrintWarning(problem);
  Slot slot{record.DownParams[static_cast<size_t>(site)],
            record.NameRules[static_cast<size_t>(site)]};

  if (changing) {
    bool slotChanged = false;
    bool configChanged = false;
    for (const std::string& assignment : options.sets) {
      const size_t equals = assignment.find('=');
      const std::string name = Trim(assignment.substr(0, equals));
      const Setting* found = nullptr;
      for (const Setting& setting : Settings()) {
        if (name == setting.name) found = &setting;
      }
      const ConfigSetting* inFile = found == nullptr ? FindConfigSetting(name) : nullptr;
      if (equals == std::string::npos || (found == nullptr && inFile == nullptr)) {
        return UsageError("config",
                          "--set takes NAME=VALUE with a NAME of 'albumora config "
                          "--help'; not: " +
                              EscapeControls(assignment));
      }
      std::string error;
      const std::string value = assignment.substr(equals + 1);
      if (found != nullptr ? !found->set(slot, value, error) : !inFile->set(config, value, error)) {
        return UsageError("config", error);
      }
      (found != nullptr ? slotChanged : configChanged) = true;
    }
    if (CheckDownParam(slot.down) == DownParamFault::MinAboveMax) {
      return UsageError("config", "min-kb lies above max-kb: every picture would fail");
    }
    if (!OpenProgramFolder(options.home)) return kExitNotStarted;
    // A file that did not read is not replaced by the defaults: the person fixes it first.
    if (configChanged && !configRead) {
      PrintError(configFile.string() + " is not changed while it cannot be read; fix or remove it");
      return kExitNotStarted;
    }
    std::string error;
    if (configChanged && !SaveConfig(configFile, config, error)) {
      PrintError(error);
      return kExitNotStarted;
    }
    if (slotChanged && !SaveSettings(record, file)) {
      PrintError("cannot write " + file.string());
      return kExitNotStarted;
    }
  }

  const std::vector<SiteEntry> sites = SiteEntries();
  const std::string key = static_cast<size_t>(site) < sites.size() ? sites[site].key : "";
  if (options.json) {
    std::string json = "{\"site\":" + JsonString(key) + ",\"file\":" + JsonString(file.string());
    for (const Setting& setting : Settings()) {
      const std::string value = setting.get(slot);
      json += "," + JsonString(setting.name) + ":" +
              (setting.number  ? value
               : setting.truth ? std::string(value == "on" ? "true" : "false")
                               : JsonString(value));
    }
    json += ",\"configFile\":" + JsonString(configFile.string());
    // A setting of albumora.toml is a number or a truth value when its default is one.
    const Config defaults;
    for (const ConfigSetting& setting : ConfigSettings()) {
      const std::string value = setting.get(config);
      const std::string kind = setting.get(defaults);
      const bool number =
          !kind.empty() && kind.find_first_not_of("0123456789") == std::string::npos &&
          !value.empty() && value.find_first_not_of("0123456789") == std::string::npos;
      const bool truth =
          (kind == "true" || kind == "false") && (value == "true" || value == "false");
      json += "," + JsonString(setting.name) + ":" + (number || truth ? value : JsonString(value));
    }
    std::printf("%s}\n", json.c_str());
  } else {
    std::printf("# %s (%s), slot %d of %s\n", key.c_str(),
                static_cast<size_t>(site) < sites.size() ? sites[site].displayName.c_str() : "",
                site, file.string().c_str());
    for (const Setting& setting : Settings()) {
      std::printf("%s=%s\n", setting.name, EscapeControls(setting.get(slot)).c_str());
    }
    std::printf("# every site, %s\n", configFile.string().c_str());
    for (const ConfigSetting& setting : ConfigSettings()) {
      std::printf("%s=%s\n", setting.name.c_str(), EscapeControls(setting.get(config)).c_str());
    }
  }
  return kExitOk;
}

}  // namespace albumora::cli
