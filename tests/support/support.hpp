// Helpers shared by the test programs.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "gridquill.h"

namespace gqtest {

// Whole content of a file ("" when it cannot be read).
std::string read_file(const std::filesystem::path &path);
void write_file(const std::filesystem::path &path, std::string_view content);

// Empty when the file is well-formed XML by expat; else the parser's complaint.
std::string xml_error(const std::filesystem::path &path);
std::string xml_error_text(std::string_view text);

// Messages of the format's published schema on the file, "" when it validates; nullopt
// when the validator (../shared/schema/validate) or xmllint is missing.
std::optional<std::string> schema_errors(const std::filesystem::path &path);

// The file validates against the schema; the test is reported skipped, not passed, where
// the schema cannot be checked.
#define GQ_EXPECT_SCHEMA_VALID(path)                                                     \
    do {                                                                                 \
        std::optional<std::string> schema_errors_ = ::gqtest::schema_errors(path);       \
        if (!schema_errors_) GTEST_SKIP() << "the schema validator or xmllint is missing"; \
        EXPECT_EQ(*schema_errors_, "") << "for " << (path);                              \
    } while (0)

// gtest assertion: the two texts are equal, else the offset and the bytes around the
// first difference.
::testing::AssertionResult same_bytes(std::string_view expected, std::string_view actual);

// The file with its Created line replaced by a fixed one, for byte comparisons.
std::string without_created(std::string text);
// The text without its "   <Selected/>\n" lines: a merge selects the input's active sheet.
std::string without_selected(std::string text);
constexpr std::string_view kFixedCreated = "  <Created>2000-01-01T00:00:00Z</Created>\n";

// The 36-line prologue for an author, with the fixed Created line.
std::string prologue(std::string_view author);

// Runs f and returns what it printed on the standard error stream.
template <class F>
std::string stderr_of(F &&f) {
    ::testing::internal::CaptureStderr();
    f();
    return ::testing::internal::GetCapturedStderr();
}

// A fresh empty directory per test, removed afterwards; the test runs inside it.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::filesystem::path dir;

private:
    std::filesystem::path previous_;
};

}  // namespace gqtest
