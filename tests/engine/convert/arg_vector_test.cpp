#include "arg_vector.h"

#include <cstring>

#include <gtest/gtest.h>

namespace morvane {
namespace {

TEST(ArgVector, ItemBuffersStayPutAsTheVectorGrows) {
    ArgVector args("Tarvik");
    args.push_back("x");  // short enough to live inside the string object itself
    const char* first = args.argv()[1];
    for (int i = 0; i < 200; ++i) args.push_back("item" + std::to_string(i));
    EXPECT_EQ(args.argv()[1], first);
    EXPECT_STREQ(args.argv()[200], "item198");
    EXPECT_EQ(args.argv()[202], nullptr);
}

TEST(ArgVector, CopiesOwnTheirItems) {
    ArgVector args("Tarvik");
    args.push_back("-sample");
    ArgVector copy(args);
    args.push_back("640x480");
    ASSERT_EQ(copy.count(), 2);
    EXPECT_EQ(copy.argv()[2], nullptr);
    EXPECT_NE(copy.argv()[1], args.argv()[1]);
    std::strcpy(args.argv()[1], "-resize");
    EXPECT_STREQ(copy.argv()[1], "-sample");

    ArgVector assigned;
    assigned = args;
    assigned = assigned;
    ASSERT_EQ(assigned.count(), 3);
    EXPECT_STREQ(assigned.argv()[2], "640x480");
    EXPECT_EQ(assigned.argv()[3], nullptr);
}

}  // namespace
}  // namespace morvane
