#include <map>

#include "TestSupport.h"

namespace rowtick { namespace {
using namespace test;

// A result list following a run's targets gives back every row exactly as it was appended, whatever the rows are:
// the run's own rows read their paths from the targets, any other row keeps its own.
struct Appending {
    std::string scenario;
    // "run": the rows after it come from a run over the targets as they are then; "grow": a target is dropped
    // after the run started; any other word appends a row of that path.
    std::vector<std::string> steps;
};

class ResultListFollowingRuns : public ::testing::TestWithParam<Appending> {};

TEST_P(ResultListFollowingRuns, GivesBackEveryRowAsAppended)
{
    // "odd": a name that is not text in the system's encoding (bytes that are not UTF-8, a lone UTF-16 half).
#ifdef _WIN32
    const fs::path::string_type odd = L"\\src\\\xD800.c";
#else
    const fs::path::string_type odd = "/src/\xff\xfe.c";
#endif
    const std::map<std::string, fs::path::string_type> paths{{"a", Native("/src/a.c")}, {"b", Native("/src/b.c")},
        {"odd", odd}, {"x", Native("/elsewhere/x.c")}, {"new", Native("/src/new.c")}};
    TargetList targets;
    for (const char* name : {"a", "b", "odd"})
        targets.append(fs::path(paths.at(name)));
    ResultList list;
    std::vector<ResultRow> appended;
    for (const std::string& step : GetParam().steps) {
        if (step == "run") {
            list.countingFrom(targets);
        } else if (step == "grow") {
            targets.append(fs::path(paths.at("new")));
        } else {
            const auto i = static_cast<std::uint64_t>(appended.size());
            ResultRow row{paths.at(step), std::nullopt, "reason " + std::to_string(i)};
            if (i % 2 == 0)
                row = ResultRow{paths.at(step), i, {}};
            appended.push_back(row);
            list.append(std::move(row));
        }
    }
    ASSERT_EQ(list.rowCount(), static_cast<std::int64_t>(appended.size()));
    for (std::size_t i = 0; i < appended.size(); ++i) {
        const ResultRow row = list.row(static_cast<std::int64_t>(i));
        EXPECT_EQ(row.path, appended[i].path) << "row " << i;
        EXPECT_EQ(row.lines, appended[i].lines) << "row " << i;
        EXPECT_EQ(row.reason, appended[i].reason) << "row " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ResultListFollowingRuns, ::testing::Values(
    Appending{"a whole run", {"run", "a", "b", "odd"}},
    Appending{"rows before a run and after its targets", {"x", "run", "a", "b", "odd", "x", "a"}},
    Appending{"a row out of order then the rest", {"run", "a", "odd", "b", "odd"}},
    Appending{"a path that is no target in the middle", {"run", "a", "x", "b", "odd"}},
    Appending{"the targets grow under the run", {"run", "a", "grow", "b", "odd", "new"}},
    Appending{"a second run over the grown targets", {"run", "a", "b", "odd", "grow", "run", "a", "b", "odd", "new"}}),
    ScenarioName);

}  // namespace
}  // namespace rowtick
