// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up probe for an X server with no window manager (Xvfb): runs a command and reports, from
// the X server's side, when its window whose title contains TITLE is first mapped and first painted.
// A paint is seen through the DAMAGE extension: every new top-level window gets a damage object the
// moment it is created, before it can be mapped or drawn, so no paint can slip by unseen.
// After the first paint the program (found through the window's _NET_WM_PID) gets SIGTERM, so a
// wrapper such as /usr/bin/time can still report on it; the probe then waits for the command.
//
//   first_paint TITLE TIMEOUT_MS -- COMMAND [ARGS...]
// prints "map_ms=<ms> paint_ms=<ms>" (from just before the command starts) and exits 0, or exits 1.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// Windows may vanish between their creation and our requests on them; that is no error here.
int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

std::string Title(Display* dpy, Window w) {
    Atom netName = XInternAtom(dpy, "_NET_WM_NAME", False);
    Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(dpy, w, netName, 0, 1024, False, utf8, &type, &format, &count, &after, &data) == Success &&
        data != nullptr) {
        title.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
    }
    if (title.empty()) {
        char* name = nullptr;
        if (XFetchName(dpy, w, &name) && name != nullptr) {
            title = name;
            XFree(name);
        }
    }
    return title;
}

pid_t WindowPid(Display* dpy, Window w) {
    Atom pidAtom = XInternAtom(dpy, "_NET_WM_PID", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    pid_t pid = -1;
    if (XGetWindowProperty(dpy, w, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) ==
            Success &&
        data != nullptr) {
        if (count == 1 && format == 32) pid = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data));
        XFree(data);
    }
    return pid;
}

double Ms(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5 || std::strcmp(argv[3], "--") != 0) {
        std::fprintf(stderr, "usage: first_paint TITLE TIMEOUT_MS -- COMMAND [ARGS...]\n");
        return 2;
    }
    const std::string wanted = argv[1];
    const double timeoutMs = std::atof(argv[2]);
    const bool debug = std::getenv("FIRST_PAINT_DEBUG") != nullptr;

    Display* dpy = XOpenDisplay(nullptr);
    if (dpy == nullptr) {
        std::fprintf(stderr, "first_paint: no X display\n");
        return 2;
    }
    int damageEvent = 0, damageError = 0;
    if (!XDamageQueryExtension(dpy, &damageEvent, &damageError)) {
        std::fprintf(stderr, "first_paint: the X server has no DAMAGE extension\n");
        return 2;
    }
    XSetErrorHandler(IgnoreErrors);
    const Window root = DefaultRootWindow(dpy);
    XSelectInput(dpy, root, SubstructureNotifyMask);
    XSync(dpy, False);

    const auto t0 = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        setpgid(0, 0);  // a group of its own, so a hung run can be ended whole
        execvp(argv[4], argv + 4);
        _exit(127);
    }

    double mapMs = -1, paintMs = -1;
    pid_t target = -1;
    bool childEnded = false;
    std::set<Window> wantedWindows;
    int status = 0;
    const int fd = ConnectionNumber(dpy);
    while (paintMs < 0 && Ms(t0, Clock::now()) < timeoutMs) {
        if (XPending(dpy) == 0) {
            if (childEnded) break;  // and every event it caused has been read
            pollfd p{fd, POLLIN, 0};
            poll(&p, 1, 20);
            if (waitpid(child, &status, WNOHANG) == child) {
                childEnded = true;
                XSync(dpy, False);  // the server has sent whatever the program's requests caused
            }
            continue;
        }
        XEvent ev;
        XNextEvent(dpy, &ev);
        const auto now = Clock::now();
        if (debug) {
            std::fprintf(stderr, "%8.2f ms (clock %.3f) event %d window 0x%lx\n", Ms(t0, now),
                         std::chrono::duration<double, std::milli>(now.time_since_epoch()).count(), ev.type,
                         ev.xany.window);
        }
        if (ev.type == CreateNotify && ev.xcreatewindow.parent == root) {
            XDamageCreate(dpy, ev.xcreatewindow.window, XDamageReportNonEmpty);
        } else if (ev.type == MapNotify && ev.xmap.event == root) {
            // The title is set before the window is mapped; a program that quits at once may have destroyed
            // the window by the time its damage is read, so the match is remembered here.
            if (Title(dpy, ev.xmap.window).find(wanted) != std::string::npos) {
                wantedWindows.insert(ev.xmap.window);
                target = WindowPid(dpy, ev.xmap.window);
                if (mapMs < 0) mapMs = Ms(t0, now);
            }
        } else if (ev.type == damageEvent + XDamageNotify) {
            const auto* d = reinterpret_cast<XDamageNotifyEvent*>(&ev);
            if (debug) std::fprintf(stderr, "  damage on 0x%lx\n", d->drawable);
            if (wantedWindows.count(d->drawable) != 0) {
                paintMs = Ms(t0, now);
            } else {
                XDamageSubtract(dpy, d->damage, None, None);  // re-arm: report this window's next paint too
            }
        }
    }

    if (!childEnded) {
        // After a paint, the program itself, so that a wrapper around it still reports; otherwise (no
        // paint in time) the whole command at once.
        if (paintMs >= 0 && target > 0)
            kill(target, SIGTERM);
        else
            kill(-child, SIGKILL);
        const auto stopAt = Clock::now();
        while (waitpid(child, &status, WNOHANG) == 0) {
            if (Ms(stopAt, Clock::now()) > 5000) {
                kill(-child, SIGKILL);
                waitpid(child, &status, 0);
                break;
            }
            usleep(2000);
        }
    }
    XCloseDisplay(dpy);
    if (paintMs < 0) {
        std::fprintf(stderr, "first_paint: no paint of a window titled '%s' within %.0f ms%s\n", wanted.c_str(),
                     timeoutMs, childEnded ? " (the command ended)" : "");
        return 1;
    }
    std::printf("map_ms=%.2f paint_ms=%.2f\n", mapMs, paintMs);
    return 0;
}
