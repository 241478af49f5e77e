#pragma once
// The widgets corvane-shot can render, by name. Adding one is one entry in shot_table.cpp
// and a function that builds the widget, filled as the program would show it.
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace corvane::shot {

using WidgetFactory = std::function<std::unique_ptr<QWidget>()>;

struct ShotEntry {
  std::string name;
  std::string description;
  WidgetFactory make;
};

const std::vector<ShotEntry>& Shots();

// The entry with that name, or nullptr.
const ShotEntry* FindShot(const std::string& name);

// The factories of the entries in shot_table.cpp.
std::unique_ptr<QWidget> MakeLedGallery();
std::unique_ptr<QWidget> MakeAboutBox();
std::unique_ptr<QWidget> MakeMainWindow();
std::unique_ptr<QWidget> MakeKeyedWindow();
std::unique_ptr<QWidget> MakeSetupDialog();

// The persistent name of a USB adapter, as the port list offers it.
extern const char* const kByIdPortName;

}  // namespace corvane::shot
