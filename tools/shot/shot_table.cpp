#include "tools/shot/shot_table.h"

namespace corvane::shot {

const std::vector<ShotEntry>& Shots() {
  static const std::vector<ShotEntry> shots = {
      {"led", "the port LEDs off and on, and every LED style", MakeLedGallery},
      {"about", "the about box as the program fills it", MakeAboutBox},
#ifdef CORVANE_SHOT_WINDOW
      {"window", "the main window with its three ports open, one by its by-id name",
       MakeMainWindow},
      {"keyed", "the main window while a connection of port B keys the transmitter",
       MakeKeyedWindow},
      {"setup", "the port settings dialog for a port named by its by-id link", MakeSetupDialog},
#endif
  };
  return shots;
}

const ShotEntry* FindShot(const std::string& name) {
  for (const ShotEntry& entry : Shots()) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

}  // namespace corvane::shot
