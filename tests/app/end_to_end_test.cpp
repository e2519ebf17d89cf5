// The viewer as a user meets it: the real binary started in a folder that
// holds a height map, under its own X server, answered and stopped with the
// keyboard and the window's close button, looked at from outside.
//
// Every wait polls against a deadline. The viewer runs in its own process
// group (its message box comes from a forked child), and the whole group is
// ended if a test gives up on it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/test_support.h"

// Xlib last: its macros (None, Bool, Status) would clash with the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#undef None
#undef Bool
#undef Status

namespace qv::viewer {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How long the viewer may take to end once asked. It takes two more frames
// and its shutdown: well under a second in a plain build, but a sanitizer
// build drawing 1.2 million triangles a frame in software on a loaded
// machine needs several seconds a frame.
constexpr auto kExitLimit = 40s;

// Polls `done` every 50 ms until it holds or `limit` has passed.
template <typename Condition>
bool WaitFor(Clock::duration limit, Condition done) {
    const Clock::time_point deadline = Clock::now() + limit;
    for (;;) {
        if (done()) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(50ms);
    }
}

// A child process's exit status: its exit code, or 128 + the signal.
std::optional<int> Reap(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) != pid) return std::nullopt;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
}

// Runs a tool to its end (at most 20 s) with DISPLAY set; its exit status.
int RunTool(const std::string& display, const std::vector<std::string>& arguments) {
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("DISPLAY", display.c_str(), 1);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, STDOUT_FILENO);
        std::vector<char*> argv;
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0) return -1;
    std::optional<int> status;
    if (!WaitFor(20s, [&] { return (status = Reap(pid)).has_value(); })) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return -1;
    }
    return *status;
}

// A private X server (Xvfb) with one screen of the given size.
class XServer {
public:
    XServer(int width, int height) {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
            const int null = open("/dev/null", O_WRONLY);
            if (null >= 0) {
                dup2(null, STDOUT_FILENO);
                dup2(null, STDERR_FILENO);
            }
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten",
                   "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // Xvfb writes its display number once it accepts connections.
        std::string number;
        const Clock::time_point deadline = Clock::now() + 15s;
        while (pid_ > 0 && Clock::now() < deadline && number.find('\n') == std::string::npos) {
            pollfd readable = {fds[0], POLLIN, 0};
            if (poll(&readable, 1, 100) <= 0) continue;
            char chunk[32];
            const ssize_t got = read(fds[0], chunk, sizeof(chunk));
            if (got <= 0) break;
            number.append(chunk, static_cast<std::size_t>(got));
        }
        close(fds[0]);
        if (number.find('\n') == std::string::npos) return;
        name_ = ":" + number.substr(0, number.find('\n'));
        // Windows come and go while the tests look at them: an X error about
        // one that has just gone is no reason to end the test process.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        display_ = XOpenDisplay(name_.c_str());
        // A held key must not repeat: each repeat queues one more message,
        // and the viewer takes one message a frame and WM_QUIT only from an
        // empty queue, so with slow (sanitizer, software) frames a repeating
        // Escape would keep the quit waiting for as long as it is held.
        if (display_) {
            XAutoRepeatOff(display_);
            XSync(display_, False);
        }
    }
    ~XServer() {
        if (display_) XCloseDisplay(display_);
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            if (!WaitFor(5s, [&] { return Reap(pid_).has_value(); })) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
            }
        }
    }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool ok() const { return display_ != nullptr; }
    const std::string& name() const { return name_; }
    Display* display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string name_;
    Display* display_ = nullptr;
};

struct TopWindow {
    Window id;
    int x, y, width, height;  // on the root window
};

std::string WindowTitle(Display* display, Window window) {
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, netName, 0, 256, False, utf8, &type, &format, &count, &after,
                           &data) == Success &&
        data) {
        if (type == utf8 && format == 8) title.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
    }
    if (title.empty()) {
        char* name = nullptr;
        if (XFetchName(display, window, &name) && name) {
            title = name;
            XFree(name);
        }
    }
    return title;
}

// Every mapped window titled `title`, anywhere in the tree.
std::vector<TopWindow> FindViewable(Display* display, const std::string& title) {
    std::vector<TopWindow> found;
    std::vector<Window> pending = {DefaultRootWindow(display)};
    while (!pending.empty()) {
        const Window window = pending.back();
        pending.pop_back();
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (XQueryTree(display, window, &root, &parent, &children, &count)) {
            pending.insert(pending.end(), children, children + count);
            if (children) XFree(children);
        }
        XWindowAttributes attributes;
        if (window == root || !XGetWindowAttributes(display, window, &attributes)) continue;
        if (attributes.map_state != IsViewable || WindowTitle(display, window) != title) continue;
        int x = 0, y = 0;
        Window child;
        XTranslateCoordinates(display, window, root, 0, 0, &x, &y, &child);
        found.push_back({window, x, y, attributes.width, attributes.height});
    }
    return found;
}

// A picture of the whole screen, taken by ImageMagick's import.
struct Screenshot {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
    std::uint32_t At(int x, int y) const {
        const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
        return static_cast<std::uint32_t>(p[0]) << 16 | p[1] << 8 | p[2];
    }
};

std::optional<Screenshot> TakeScreenshot(const std::string& display, const std::string& file) {
    if (RunTool(display, {"import", "-window", "root", "-depth", "8", file}) != 0) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    std::string magic;
    int maxValue = 0;
    Screenshot shot;
    in >> magic >> shot.width >> shot.height >> maxValue;
    in.get();
    if (!in || magic != "P6" || maxValue != 255 || shot.width <= 0 || shot.height <= 0 ||
        shot.width > 8192 || shot.height > 8192)
        return std::nullopt;
    shot.rgb.resize(static_cast<std::size_t>(shot.width) * shot.height * 3);
    in.read(reinterpret_cast<char*>(shot.rgb.data()), static_cast<std::streamsize>(shot.rgb.size()));
    if (!in) return std::nullopt;
    return shot;
}

// Terrain is drawn in the window when its lower part is almost all lit, in
// many colours, and its top (the sky above the horizon) is black.
bool ShowsTerrain(const Screenshot& shot, const TopWindow& window, std::string* why) {
    const int x0 = std::max(window.x, 0), y0 = std::max(window.y, 0);
    const int x1 = std::min(window.x + window.width, shot.width);
    const int y1 = std::min(window.y + window.height, shot.height);
    if (x1 - x0 < 400 || y1 - y0 < 300) {
        *why = "window not on the screen";
        return false;
    }
    const int h = y1 - y0;
    std::size_t skyLit = 0, sky = 0, groundLit = 0, ground = 0;
    std::set<std::uint32_t> colours;
    for (int y = y0; y < y1; y += 2) {
        for (int x = x0; x < x1; x += 2) {
            const std::uint32_t pixel = shot.At(x, y);
            if (y < y0 + h / 6) {
                ++sky;
                skyLit += pixel != 0;
            } else if (y >= y0 + h * 3 / 4) {
                ++ground;
                groundLit += pixel != 0;
                colours.insert(pixel);
            }
        }
    }
    std::ostringstream text;
    text << "sky lit " << skyLit << "/" << sky << ", ground lit " << groundLit << "/" << ground << ", "
         << colours.size() << " ground colours";
    *why = text.str();
    return skyLit * 50 < sky && groundLit * 10 > ground * 9 && colours.size() > 50;
}

// The viewer binary, started in `folder` on `display` (empty: no display).
class Viewer {
public:
    Viewer(const std::filesystem::path& folder, const std::string& display) : folder_(folder) {
        pid_ = fork();
        if (pid_ == 0) {
            setpgid(0, 0);
            if (chdir(folder.c_str()) != 0) _exit(126);
            unsetenv("WAYLAND_DISPLAY");
            // In sanitizer builds: no leak report from the viewer process. At
            // its exit the GL driver has been unloaded with the display, so
            // the driver's own allocations can no longer be attributed (nor
            // suppressed) and would turn the exit status into an abort. The
            // viewer's own releases are checked in-process by the scene and
            // frame tests, where the driver stays loaded.
            const char* asan = std::getenv("ASAN_OPTIONS");
            const std::string options = std::string(asan ? asan : "") + (asan && *asan ? ":" : "") + "detect_leaks=0";
            setenv("ASAN_OPTIONS", options.c_str(), 1);
            if (display.empty())
                unsetenv("DISPLAY");
            else
                setenv("DISPLAY", display.c_str(), 1);
            const int out = open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out >= 0) dup2(out, STDOUT_FILENO);
            if (err >= 0) dup2(err, STDERR_FILENO);
            execl(QV_VIEWER_PATH, QV_VIEWER_PATH, static_cast<char*>(nullptr));
            _exit(127);
        }
        if (pid_ > 0) setpgid(pid_, pid_);
    }
    ~Viewer() {
        if (pid_ > 0 && !status_) {
            kill(-pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;

    bool started() const { return pid_ > 0; }
    // Its exit status, once it has ended within `limit`.
    std::optional<int> WaitExit(Clock::duration limit) {
        WaitFor(limit, [&] { return (status_ = status_ ? status_ : Reap(pid_)).has_value(); });
        return status_;
    }
    bool Running() { return !status_ && !(status_ = Reap(pid_)); }
    std::string Stderr() const {
        std::ifstream in(folder_ / "stderr.txt");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::filesystem::path folder_;
    pid_t pid_ = -1;
    std::optional<int> status_;
};

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::copy_file(QV_DEFAULT_HEIGHT_MAP, folder_.File("heightmap.png"));
    }

    // Starts the viewer on `server`, waits for "FullScreen?" and answers it
    // with the keyboard; then waits for the viewer's window and for terrain
    // in it. Returns the window.
    std::optional<TopWindow> StartAndAnswer(XServer& server, Viewer& viewer, bool fullScreen) {
        Display* display = server.display();
        std::optional<TopWindow> box;
        const bool asked = WaitFor(30s, [&] {
            for (const TopWindow& window : FindViewable(display, "Quorvane"))
                if (window.width < 700) box = window;  // the message box, not the 800 x 600 window
            return box.has_value() || !viewer.Running();
        });
        if (!asked || !box) {
            ADD_FAILURE() << "no \"FullScreen?\" box appeared; stderr: " << viewer.Stderr();
            return std::nullopt;
        }
        const std::string id = std::to_string(box->id);
        // Return picks Yes, Escape picks No.
        EXPECT_EQ(RunTool(server.name(), {"xdotool", "mousemove", "--window", id, "5", "5"}), 0);
        EXPECT_EQ(RunTool(server.name(), {"xdotool", "windowfocus", id}), 0);
        EXPECT_EQ(RunTool(server.name(), {"xdotool", "key", fullScreen ? "Return" : "Escape"}), 0);

        std::optional<TopWindow> main;
        WaitFor(60s, [&] { return (main = FindMain(display)).has_value() || !viewer.Running(); });
        if (!main) {
            ADD_FAILURE() << "the viewer's window did not appear; stderr: " << viewer.Stderr();
            return std::nullopt;
        }
        std::string why;
        const bool drawn = WaitFor(60s, [&] {
            const std::optional<Screenshot> shot = TakeScreenshot(server.name(), folder_.File("shot.ppm"));
            return (shot && ShowsTerrain(*shot, *main, &why)) || !viewer.Running();
        });
        if (!drawn || !viewer.Running()) {
            ADD_FAILURE() << "no terrain on the screen (" << why << "); stderr: " << viewer.Stderr();
            return std::nullopt;
        }
        return main;
    }

    // The viewer's 800 x 600 window (the message box is smaller).
    static std::optional<TopWindow> FindMain(Display* display) {
        for (const TopWindow& window : FindViewable(display, "Quorvane"))
            if (window.width >= 700) return window;
        return std::nullopt;
    }

    // Puts the pointer and the keyboard focus on the viewer's window and
    // holds Escape down (the viewer polls the key once a frame, so a quick
    // press and release could fall between two polls).
    static void HoldEscape(XServer& server) {
        const bool pressed = WaitFor(10s, [&] {
            const std::optional<TopWindow> window = FindMain(server.display());
            if (!window) return false;
            const std::string id = std::to_string(window->id);
            return RunTool(server.name(), {"xdotool", "mousemove", "--window", id, "400", "300"}) == 0 &&
                   RunTool(server.name(), {"xdotool", "windowfocus", id}) == 0 &&
                   RunTool(server.name(), {"xdotool", "keydown", "Escape"}) == 0;
        });
        EXPECT_TRUE(pressed) << "cannot press Escape in the viewer's window";
    }

    // Starts the viewer on a screen of the given size, answers "FullScreen?",
    // checks it shows an 800 x 600 window at the top-left corner, then holds
    // Escape and expects exit status 0.
    void RunAndEndWithEscape(int screenWidth, int screenHeight, bool fullScreen) {
        XServer server(screenWidth, screenHeight);
        ASSERT_TRUE(server.ok()) << "cannot start Xvfb";
        Viewer viewer(folder_.path(), server.name());
        ASSERT_TRUE(viewer.started());
        const std::optional<TopWindow> window = StartAndAnswer(server, viewer, fullScreen);
        ASSERT_TRUE(window);
        EXPECT_EQ(window->x, 0);
        EXPECT_EQ(window->y, 0);
        EXPECT_EQ(window->width, 800);
        EXPECT_EQ(window->height, 600);

        HoldEscape(server);
        const std::optional<int> status = viewer.WaitExit(kExitLimit);
        RunTool(server.name(), {"xdotool", "keyup", "Escape"});
        ASSERT_TRUE(status) << "still running after Escape";
        EXPECT_EQ(*status, 0) << viewer.Stderr();
    }

    testing::TempFolder folder_;
};

TEST_F(EndToEnd, WindowedRunEndsWithEscape) {
    // The window sits at the top-left corner of a larger screen.
    RunAndEndWithEscape(1024, 768, false);
}

TEST_F(EndToEnd, FullScreenRunEndsWithEscape) {
    // Xvfb offers only its own screen size as a mode: make it 800 x 600.
    RunAndEndWithEscape(800, 600, true);
}

TEST_F(EndToEnd, ClosingTheWindowEndsTheViewer) {
    XServer server(1024, 768);
    ASSERT_TRUE(server.ok()) << "cannot start Xvfb";
    Viewer viewer(folder_.path(), server.name());
    ASSERT_TRUE(viewer.started());
    const std::optional<TopWindow> window = StartAndAnswer(server, viewer, false);
    ASSERT_TRUE(window);

    // What a window manager's close button sends.
    Display* display = server.display();
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window->id;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window->id, False, NoEventMask, &event);
    XFlush(display);

    const std::optional<int> status = viewer.WaitExit(kExitLimit);
    ASSERT_TRUE(status) << "still running after the window was closed";
    EXPECT_EQ(*status, 0) << viewer.Stderr();
}

TEST_F(EndToEnd, WithoutADisplayItSaysSoAndExitsWithStatus1) {
    Viewer viewer(folder_.path(), "");
    ASSERT_TRUE(viewer.started());
    const std::optional<int> status = viewer.WaitExit(20s);
    ASSERT_TRUE(status) << "still running without a display";
    EXPECT_EQ(*status, 1);
    const std::string err = viewer.Stderr();
    const std::string expected = "Quorvane: cannot create a Direct3D device (no display or no OpenGL?); exiting\n";
    EXPECT_NE(err.find(expected), std::string::npos) << err;
}

}  // namespace
}  // namespace qv::viewer
