#include "tools/shot/render.h"

#include <QImage>
#include <QPixmap>
#include <cstdio>
#include <string>

#include "tools/shot/shot_table.h"

namespace corvane::shot {
namespace {

void PrintUsage() {
  std::fprintf(stderr, "usage: corvane-shot [--scale N] NAME OUT.png\nNAME is one of:\n");
  for (const ShotEntry& entry : Shots()) {
    std::fprintf(stderr, "  %-8s %s\n", entry.name.c_str(), entry.description.c_str());
  }
}

}  // namespace

bool RenderToPng(QWidget& widget, const QString& path, int scale) {
  widget.ensurePolished();
  QImage image = widget.grab().toImage();
  if (image.isNull()) return false;
  if (scale > 1)
    image = image.scaled(image.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
  return image.save(path, "PNG");
}

int RunShot(int argc, char** argv) {
  int scale = 1;
  int at = 1;
  if (at + 1 < argc && std::string(argv[at]) == "--scale") {
    try {
      scale = std::stoi(argv[at + 1]);
    } catch (const std::exception&) {
      scale = 0;
    }
    if (scale < 1 || scale > 16) {
      std::fprintf(stderr, "corvane-shot: scale must be 1 to 16\n");
      return 2;
    }
    at += 2;
  }
  if (argc - at != 2) {
    PrintUsage();
    return 2;
  }
  const ShotEntry* entry = FindShot(argv[at]);
  if (entry == nullptr) {
    std::fprintf(stderr, "corvane-shot: no widget named \"%s\"\n", argv[at]);
    PrintUsage();
    return 2;
  }
  const std::unique_ptr<QWidget> widget = entry->make();
  if (!RenderToPng(*widget, QString::fromLocal8Bit(argv[at + 1]), scale)) {
    std::fprintf(stderr, "corvane-shot: cannot write %s\n", argv[at + 1]);
    return 1;
  }
  return 0;
}

}  // namespace corvane::shot
