// SPDX-License-Identifier: GPL-3.0-or-later
// albumora-demo: the main job on the bundled sample site, and the benchmark's server.
#include <CLI/CLI.hpp>

#include <iostream>
#include <string>

#include "demo/DemoCommands.h"

int main(int argc, char** argv) {
  CLI::App app{
      "albumora-demo serves a bundled sample QQ空间 account on loopback (no internet) and "
      "downloads it with albumora's own list and download road.",
      "albumora-demo"};
  app.set_version_flag("-V,--version", std::string("albumora-demo ") + ALBUMORA_VERSION);
  std::string save;
  app.add_option("-o,--save", save,
                 "save folder (default: a new folder under the temporary folder, printed)");

  CLI::App* bench = app.add_subcommand(
      "serve-bench", "serve the download benchmark's album until standard input closes");
  std::string list;
  albumora::demo::BenchShape shape;
  bench->add_option("--list", list, "file that receives the pictures' addresses")->required();
  bench->add_option("--pictures", shape.pictures, "pictures in the album")
      ->check(CLI::Range(1, 1000000));
  bench->add_option("--kb", shape.kb, "KB per picture")->check(CLI::Range(1L, 1L << 20));
  bench->add_option("--delay", shape.delayMs, "milliseconds before each answer")
      ->check(CLI::Range(0, 600000));
  bench->add_option("--connect-ms", shape.connectMs, "milliseconds each new connection waits")
      ->check(CLI::Range(0, 600000));
  bench
      ->add_option("--albums", shape.albums, "albums of the account (the first holds the pictures)")
      ->check(CLI::Range(1, 1000000));
  bench
      ->add_option("--rate", shape.ratePerSecond,
                   "pictures the host answers over any second; the rest get 429 and "
                   "Retry-After: 1 (0: no limit)")
      ->check(CLI::Range(0, 100000));
  bench->add_flag("--one-name", shape.oneAlbumName, "every album named alike");
  bench->add_option("--list-delay", shape.listDelayMs, "milliseconds before each list answer")
      ->check(CLI::Range(0, 600000));
  bench->add_flag("--every-album", shape.everyAlbum,
                  "every album holds --pictures pictures, not only the first");
  bench->add_flag("--one-description", shape.oneDescription, "every picture described alike");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "albumora-demo: " << e.what() << "\ntry 'albumora-demo --help'" << std::endl;
    return 2;
  }
  if (bench->parsed()) return albumora::demo::RunServeBench(list, shape);
  return albumora::demo::RunDemo(save);
}
