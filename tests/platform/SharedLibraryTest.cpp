#include <gtest/gtest.h>

#include "platform/SharedLibrary.h"

using namespace qor;

namespace {

// The C library's maths part: on every Linux system, under this name since glibc 2.
constexpr const char* MathLibrary = "libm.so.6";

TEST(SharedLibrary, AFunctionFoundByNameIsTheLibrarysOwn) {
    const auto library = TSharedLibrary::Open(MathLibrary);
    ASSERT_TRUE(library) << library.Error().Reason;
    double (*cosine)(double) = nullptr;
    ASSERT_TRUE(library->Find("cos", cosine));
    EXPECT_EQ(cosine(0.0), 1.0);
}

TEST(SharedLibrary, WhatIsMissingIsNamedWithTheLoadersReason) {
    const auto absent = TSharedLibrary::Open("libqor-absent.so.0");
    ASSERT_FALSE(absent);
    EXPECT_NE(absent.Error().Reason.find("cannot load libqor-absent.so.0: "), std::string::npos)
        << absent.Error().Reason;
    EXPECT_NE(absent.Error().Reason.find("No such file"), std::string::npos)
        << absent.Error().Reason;

    const auto library = TSharedLibrary::Open(MathLibrary);
    ASSERT_TRUE(library) << library.Error().Reason;
    void (*function)() = nullptr;
    const auto missing = library->Find("qor_no_such_function", function);
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.Error().Reason.find("libm.so.6 has no qor_no_such_function: "),
              std::string::npos)
        << missing.Error().Reason;
    EXPECT_EQ(function, nullptr);
}

} // namespace
