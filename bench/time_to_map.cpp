// time-to-map [-n RUNS] PROGRAM [ARGS...] -- OTHER [ARGS...]: starts the two
// programs in turn, RUNS times each, alternating, and prints for each the
// median time from its fork to the X server's MapNotify of the first window it
// maps on the display ($DISPLAY: a private Xvfb without a window manager, so
// that the map is the program's own request), then the ratio of the first to
// the second. Its window is told from others by its _NET_WM_PID. Each program
// is ended once its window is mapped. A developer's measuring tool.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The process that made `window`, from its _NET_WM_PID; 0 when it does not say.
pid_t WindowPid(Display* display, Window window)
{
    const Atom property = XInternAtom(display, "_NET_WM_PID", False);
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long left = 0;
    unsigned char* data = nullptr;
    pid_t pid = 0;
    if (XGetWindowProperty(display, window, property, 0, 1, False, XA_CARDINAL, &type, &format, &items, &left, &data)
            == Success
        && data && format == 32 && items == 1)
        pid = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data));
    if (data)
        XFree(data);
    return pid;
}

// Processor time used so far by every thread of `pid`, in seconds: a figure a
// loaded machine disturbs less than the wall time.
double ProcessorSeconds(pid_t pid)
{
    double total = 0;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* folder = opendir(tasks.c_str())) {
        while (const dirent* entry = readdir(folder)) {
            if (entry->d_name[0] == '.')
                continue;
            std::ifstream stat(tasks + "/" + entry->d_name + "/schedstat");
            double nanoseconds = 0;
            if (stat >> nanoseconds)
                total += nanoseconds / 1e9;
        }
        closedir(folder);
    }
    return total;
}

struct Start {
    double seconds = 0;    // fork to map
    double processor = 0;  // the program's processor time until the map
};

Start TimeToMap(Display* display, char** argv)
{
    // Drain what earlier runs left, then start the program and wait for a map.
    while (XPending(display) > 0) {
        XEvent ignored;
        XNextEvent(display, &ignored);
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[0], argv);
        std::perror(argv[0]);
        _exit(127);
    }
    Start result;
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != MapNotify)
            continue;
        result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (WindowPid(display, event.xmap.window) == child)
            break;
    }
    kill(child, SIGSTOP);
    result.processor = ProcessorSeconds(child);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return result;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = 9;
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "-n") == 0) {
        runs = std::max(1, std::atoi(argv[2]));
        first = 3;
    }
    int separator = first;
    while (separator < argc && std::strcmp(argv[separator], "--") != 0)
        ++separator;
    if (separator == first || separator + 1 >= argc) {
        std::fprintf(stderr, "usage: time-to-map [-n RUNS] PROGRAM [ARGS...] -- OTHER [ARGS...]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "time-to-map: cannot open the display\n");
        return 1;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    argv[separator] = nullptr;
    std::vector<double> a;
    std::vector<double> b;
    std::vector<double> aProcessor;
    std::vector<double> bProcessor;
    for (int i = 0; i < runs; ++i) {
        const Start one = TimeToMap(display, argv + first);
        const Start other = TimeToMap(display, argv + separator + 1);
        a.push_back(one.seconds);
        aProcessor.push_back(one.processor);
        b.push_back(other.seconds);
        bProcessor.push_back(other.processor);
    }
    std::printf("%-40s median %.1f ms, processor %.1f ms\n", argv[first], Median(a) * 1000, Median(aProcessor) * 1000);
    std::printf("%-40s median %.1f ms, processor %.1f ms\n", argv[separator + 1], Median(b) * 1000,
                Median(bProcessor) * 1000);
    std::printf("ratio %.2f, processor %.2f\n", Median(a) / Median(b), Median(aProcessor) / Median(bProcessor));
    XCloseDisplay(display);
    return 0;
}
