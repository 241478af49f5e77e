#include "tests/app/window/x11_windows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <algorithm>
#include <stdexcept>

namespace corvane::test {

X11Client::X11Client(const std::string& display) {
  display_ = XOpenDisplay(display.c_str());
  if (display_ == nullptr) throw std::runtime_error("cannot open display " + display);
  // Every window created, mapped or renamed below the root wakes us.
  XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
  XSync(display_, False);
}

X11Client::~X11Client() {
  if (display_ != nullptr) XCloseDisplay(display_);
}

std::string X11Client::TitleOf(unsigned long window) {
  Atom netName = XInternAtom(display_, "_NET_WM_NAME", False);
  Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(display_, window, netName, 0, 1024, False, utf8, &type, &format, &count,
                         &after, &data) == Success &&
      data != nullptr) {
    title.assign(reinterpret_cast<char*>(data), count);
  }
  if (data != nullptr) XFree(data);
  if (!title.empty()) return title;
  char* name = nullptr;
  if (XFetchName(display_, window, &name) && name != nullptr) {
    title = name;
    XFree(name);
  }
  return title;
}

std::optional<unsigned long> X11Client::FindMapped(unsigned long parent, const std::string& title) {
  Window root = 0;
  Window up = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display_, parent, &root, &up, &children, &count)) return std::nullopt;
  std::optional<unsigned long> found;
  for (unsigned int i = 0; i < count && !found; ++i) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display_, children[i], &attributes) &&
        attributes.map_state == IsViewable && TitleOf(children[i]) == title) {
      found = children[i];
    } else {
      found = FindMapped(children[i], title);
    }
  }
  if (children != nullptr) XFree(children);
  return found;
}

std::optional<unsigned long> X11Client::WaitForWindow(
    const std::string& title, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    while (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      // A title set after the window appeared shows up as a property change.
      if (event.type == CreateNotify) {
        XSelectInput(display_, event.xcreatewindow.window,
                     PropertyChangeMask | SubstructureNotifyMask);
      }
    }
    if (auto window = FindMapped(DefaultRootWindow(display_), title)) return window;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd server{ConnectionNumber(display_), POLLIN, 0};
    ::poll(&server, 1, static_cast<int>(left.count()));
  }
}

std::pair<int, int> X11Client::SizeOf(unsigned long window) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display_, window, &attributes)) return {0, 0};
  return {attributes.width, attributes.height};
}

void X11Client::RequestClose(unsigned long window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display_, window, False, NoEventMask, &event);
  XFlush(display_);
}

}  // namespace corvane::test
