// The general error handler's period rule and the recorder seam.
#include <gtest/gtest.h>
#include <stdexcept>
#include "K4Application.h"
#include "K4UiSeams.h"

TEST(GeneralErrorHandler, AppendsPeriodOnlyAfterCharactersSortingAfterPoint) {
    EXPECT_EQ(app::ErrorHandlerText("Cannot open file x"), "Cannot open file x.");
    EXPECT_EQ(app::ErrorHandlerText("Done."), "Done.");
    EXPECT_EQ(app::ErrorHandlerText("Path C:\\x\\"), "Path C:\\x\\.");
    EXPECT_EQ(app::ErrorHandlerText("Really!"), "Really!");   // '!' sorts before '.'
    EXPECT_EQ(app::ErrorHandlerText("a-"), "a-");              // '-' sorts before '.'
    EXPECT_EQ(app::ErrorHandlerText("x/"), "x/.");             // '/' sorts after '.'
    EXPECT_EQ(app::ErrorHandlerText("\xE9"), "\xE9.");         // bytes compare unsigned
    EXPECT_EQ(app::ErrorHandlerText(""), "");
}

TEST(GeneralErrorHandler, ShowsTheCurrentExceptionsMessage) {
    std::vector<std::pair<app::BoxKind, std::string>> shown;
    app::SetBoxRecorderForTests([&](app::BoxKind k, const std::string& t) { shown.emplace_back(k, t); });
    try {
        throw std::runtime_error("Cannot create file C:\\T\\a.txt");
    } catch (...) {
        app::HandleCurrentException();
    }
    app::SetBoxRecorderForTests(nullptr);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, app::BoxKind::Error);
    EXPECT_EQ(shown[0].second, "Cannot create file C:\\T\\a.txt.");
}
