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

// `name` under `folder`: the folder's bytes, a "/" unless the folder ends with
// one, and the name's very bytes. Nothing in the name is left out or joined:
// "plain.txt/." stays a name that is no file, as it is to every other program.
std::filesystem::path Absolute(const std::filesystem::path& folder, const std::filesystem::path& name)
{
    if (name.is_absolute())
        return name;
    std::filesystem::path::string_type path = folder.native();
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name.native();
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

// The same under a Japanese locale, UTF-8.
const char kHelpJapanese[] =
    "使い方: rowtick [ファイル]... [--] [ファイル]...\n"
    "ソースファイルの行数 (ステップ数) をウィンドウで数えます。ファイルは指定した\n"
    "順に、ウィンドウに投げたときと同じように対象ファイルになります。Rowtick の\n"
    "ウィンドウがすでに開いているときは、そのウィンドウに追加します。\n"
    "\n"
    "  -h, --help     この説明を表示して終了します\n"
    "      --version  バージョンを表示して終了します\n"
    "  --             これより後の引数はすべてファイルです\n"
    "\n"
    "\"--\" より前では、-platform 名前 や -style 名前 などの Qt のオプションも\n"
    "使えます。詳しくは rowtick(1) を参照してください。\n";

// Whether messages are to be Japanese: the first of LC_ALL, LC_MESSAGES and
// LANG that is set names a Japanese locale, as the C library reads them.
bool JapaneseMessages()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return std::string_view(value).starts_with("ja");
    }
    return false;
}

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
            namesDisplay_ = namesDisplay_ || name == "platform" || name == "display";
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
            out << (JapaneseMessages() ? kHelpJapanese : kHelp);
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
