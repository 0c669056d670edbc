// The general error handler's period rule and the recorder seam.
#include <gtest/gtest.h>
#include <stdexcept>
#include "K4Application.h"
#include "K4UiSeams.h"

TEST(GeneralErrorHandler, AppendsPeriodOnlyAfterCharactersSortingAfterPoint) {
    EXPECT_EQ(ui::ErrorHandlerText("Cannot open file x"), "Cannot open file x.");
    EXPECT_EQ(ui::ErrorHandlerText("Done."), "Done.");
    EXPECT_EQ(ui::ErrorHandlerText("Path C:\\x\\"), "Path C:\\x\\.");
    EXPECT_EQ(ui::ErrorHandlerText("Really!"), "Really!");   // '!' sorts before '.'
    EXPECT_EQ(ui::ErrorHandlerText("a-"), "a-");              // '-' sorts before '.'
    EXPECT_EQ(ui::ErrorHandlerText("x/"), "x/.");             // '/' sorts after '.'
    EXPECT_EQ(ui::ErrorHandlerText("\xE9"), "\xE9.");         // bytes compare unsigned
    EXPECT_EQ(ui::ErrorHandlerText(""), "");
}

TEST(GeneralErrorHandler, ShowsTheCurrentExceptionsMessage) {
    std::vector<std::pair<ui::BoxKind, std::string>> shown;
    ui::SetBoxRecorderForTests([&](ui::BoxKind k, const std::string& t) { shown.emplace_back(k, t); });
    try {
        throw std::runtime_error("Cannot create file C:\\T\\a.txt");
    } catch (...) {
        ui::HandleCurrentException();
    }
    ui::SetBoxRecorderForTests(nullptr);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, ui::BoxKind::Error);
    EXPECT_EQ(shown[0].second, "Cannot create file C:\\T\\a.txt.");
}
