// Placeholder until the config file lands: the defaults.
#include "model/Config.h"

namespace albumora {

const std::vector<ConfigSetting>& ConfigSettings() {
  static const std::vector<ConfigSetting> settings;
  return settings;
}

bool LoadConfig(const std::filesystem::path&, Config& config, std::vector<std::string>&) {
  config = Config{};
  return true;
}

bool SaveConfig(const std::filesystem::path&, const Config&, std::string& error) {
  error = "not yet";
  return false;
}

}  // namespace albumora
