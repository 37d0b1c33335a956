#include "CommandLine.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <ostream>
#include <string_view>
#include <system_error>

#include "Form1.h"
#include "Utf8Arguments.h"

namespace rowtick {

namespace {

const std::string kSeparator = "--";

// Qt's own options (QGuiApplication's, QApplication's and the X11 plugin's),
// each also written with two dashes as Qt allows; those of the first list take
// the next argument as their value, those of the last are given as NAME=VALUE.
constexpr std::array kToolkitOptionsWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowtitle",
    "qwindowicon", "session", "style", "stylesheet", "display", "geometry", "title", "icon", "name", "visual",
};
constexpr std::array kToolkitFlags = {"reverse", "widgetcount", "testability", "nograb", "dograb", "qdebug", "qdevel"};
constexpr std::array kToolkitAssignments = {"style=", "stylesheet=", "qmljsdebugger="};

bool IsOption(const std::string& argument)
{
    return argument.size() > 1 && argument.front() == '-';
}

// The option's name without its one or two dashes.
std::string_view OptionName(const std::string& argument)
{
    std::string_view name(argument);
    name.remove_prefix(name.starts_with("--") ? 2 : 1);
    return name;
}

template <std::size_t N>
bool Names(const std::array<const char*, N>& names, std::string_view name)
{
    return std::any_of(names.begin(), names.end(), [name](const char* known) { return name == known; });
}

bool IsToolkitAssignment(std::string_view name)
{
    return std::any_of(kToolkitAssignments.begin(), kToolkitAssignments.end(),
                       [name](const char* known) { return name.starts_with(known); });
}

// `name` under `folder`, leaving out "." steps: "./a.c" is "<folder>/a.c".
std::filesystem::path Absolute(const std::filesystem::path& folder, const std::filesystem::path& name)
{
    if (name.is_absolute())
        return name;
    std::filesystem::path path = folder;
    for (const std::filesystem::path& step : name) {
        if (step != ".")
            path /= step;
    }
    return path;
}

const char kHelp[] =
    "Usage: rowtick [FILE]... [--] [FILE]...\n"
    "Counts the lines (steps) of source files in a window. The FILEs become its\n"
    "targets in the order given, as if they had been dropped on it; when a\n"
    "Rowtick window is open already, they are added to that window.\n"
    "\n"
    "  -h, --help     print this text and exit\n"
    "      --version  print the version and exit\n"
    "  --             every argument after this one is a FILE\n"
    "\n"
    "Qt's options, such as -platform NAME or -style NAME, are understood before\n"
    "\"--\". See rowtick(1).\n";

}  // namespace

CommandLine::CommandLine(int argc, char** argv)
    : arguments_(argv, argv + argc)
{
    std::vector<std::size_t> toolkit;
    std::size_t i = 1;
    for (; i < arguments_.size() && arguments_[i] != kSeparator; ++i) {
        const std::string& argument = arguments_[i];
        if (!IsOption(argument)) {
            files_.push_back(argument);
            continue;
        }
        const std::string_view name = OptionName(argument);
        if (Names(kToolkitOptionsWithValue, name) && i + 1 < arguments_.size()) {
            toolkit.push_back(i);
            toolkit.push_back(++i);
        } else if (Names(kToolkitFlags, name) || IsToolkitAssignment(name)) {
            toolkit.push_back(i);
        } else {
            options_.push_back(argument);
        }
    }
    for (++i; i < arguments_.size(); ++i)
        files_.push_back(arguments_[i]);

    if (!arguments_.empty())
        toolkitArgv_.push_back(arguments_[0].data());
    for (const std::size_t index : toolkit)
        toolkitArgv_.push_back(arguments_[index].data());
    toolkitArgc_ = static_cast<int>(toolkitArgv_.size());
    toolkitArgv_.push_back(nullptr);
}

bool CommandLine::answerQuestion(std::ostream& out) const
{
    for (const std::string& option : options_) {
        if (option == "--help" || option == "-h") {
            out << kHelp;
            return true;
        }
        if (option == "--version") {
            out << "rowtick " ROWTICK_VERSION "\n";
            return true;
        }
    }
    return false;
}

bool CommandLine::refuseMistake(std::ostream& err) const
{
    if (options_.empty())
        return false;
    err << "rowtick: unknown option: " << options_.front() << "\n"
        << "Try 'rowtick --help'.\n";
    return true;
}

std::vector<DroppedTarget> CommandLine::targets(const std::filesystem::path& currentFolder) const
{
    std::vector<DroppedTarget> targets;
    targets.reserve(files_.size());
    for (const std::string& file : files_)
        targets.push_back({Absolute(currentFolder, Utf8Arguments::PathOf(file)).native(), {}});
    return targets;
}

void CommandLine::openIn(Form1& window) const
{
    if (hasFiles())
        window.RegisterTargets(targets(CurrentFolder()));
}

std::filesystem::path CurrentFolder()
{
    std::error_code error;
    const char* shellName = std::getenv("PWD");
    if (shellName) {
        const std::filesystem::path named(shellName);
        const bool plain = named.is_absolute()
            && std::none_of(named.begin(), named.end(),
                            [](const std::filesystem::path& step) { return step == "." || step == ".."; });
        if (plain && std::filesystem::equivalent(named, ".", error))
            return named;
    }
    std::filesystem::path system = std::filesystem::current_path(error);
    return error ? std::filesystem::path("/") : system;
}

}  // namespace rowtick
