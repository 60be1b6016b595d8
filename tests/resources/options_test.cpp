// The option reader: both forms of a value, flags given one, names that only
// begin like an option, values missing at the end, empty paths and numbers
// out of range, in each style a program reads its command line in.
#include <gtest/gtest.h>

#include <vector>

#include "resources/options.h"

namespace {

const Option table[] = {
    {"-h", OPTION_FLAG},
    {"--quiet", OPTION_FLAG},
    {"--bind", OPTION_TEXT},
    {"--data", OPTION_PATH},
    {"--port", OPTION_NUMBER, 1, 65535},
};
const int kOptions = (int)(sizeof table / sizeof *table);

struct Case {
    OptionStyle style;
    std::vector<const char *> args; // the first is read
    OptionResult result;
    int index;         // the entry found, -1 for none
    int next;          // the argument read last
    const char *value; // NULL for none
    uint64_t number;
};

TEST(ReadOption, FormsFlagsAndBadValues) {
    const OptionStyle S = OPTIONS_SPACED, J = OPTIONS_JOINED, L = OPTIONS_JOINED_LAX;
    const Case cases[] = {
        {S, {"--bind", "::1"}, OPTION_OK, 2, 1, "::1", 0},
        {S, {"--bind", ""}, OPTION_OK, 2, 1, "", 0},
        {S, {"--bind=::1"}, OPTION_UNKNOWN, -1, 0, NULL, 0},
        {J, {"--bind=a=b", "x"}, OPTION_OK, 2, 0, "a=b", 0},
        {J, {"--bind=", "x"}, OPTION_OK, 2, 0, "", 0},
        {J, {"--binder", "x"}, OPTION_UNKNOWN, -1, 0, NULL, 0},
        {J, {"--bin", "x"}, OPTION_UNKNOWN, -1, 0, NULL, 0},
        {J, {"-h=1"}, OPTION_UNKNOWN, -1, 0, NULL, 0},
        {S, {"--quiet", "x"}, OPTION_OK, 1, 0, NULL, 0},
        {J, {"--quiet=1"}, OPTION_UNKNOWN, -1, 0, NULL, 0},
        {L, {"--quiet=1"}, OPTION_OK, 1, 0, NULL, 0},
        {S, {"--bind"}, OPTION_MISSING, 2, 0, NULL, 0},
        {J, {"--data", "--quiet"}, OPTION_OK, 3, 1, "--quiet", 0},
        {J, {"--data", ""}, OPTION_EMPTY, 3, 1, "", 0},
        {J, {"--data="}, OPTION_EMPTY, 3, 0, "", 0},
        {S, {"--port", "65535"}, OPTION_OK, 4, 1, "65535", 65535},
        {J, {"--port=007"}, OPTION_OK, 4, 0, "007", 7},
        {S, {"--port", "0"}, OPTION_BAD_NUMBER, 4, 1, "0", 0},
        {S, {"--port", "65536"}, OPTION_BAD_NUMBER, 4, 1, "65536", 0},
        {J, {"--port="}, OPTION_BAD_NUMBER, 4, 0, "", 0},
    };
    for (const Case &c : cases) {
        std::vector<char *> argv{(char *)"program"};
        for (const char *arg : c.args)
            argv.push_back((char *)arg);
        int i = 1;
        OptionRead r = ReadOption((int)argv.size(), argv.data(), &i, table, kOptions, c.style);
        SCOPED_TRACE(std::string(c.args[0]) + " in style " + std::to_string(c.style));
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.index, c.index);
        EXPECT_EQ(i, 1 + c.next);
        EXPECT_STREQ(r.value, c.value);
        EXPECT_EQ(r.number, c.number);
    }
}

TEST(ReadOption, AnUnknownOptionIsNamedWithoutItsValue) {
    char *argv[] = {(char *)"program", (char *)"--nope=3", (char *)"x=y"};
    for (int k = 1; k <= 2; k++) {
        int i = k;
        OptionRead r = ReadOption(3, argv, &i, table, kOptions, OPTIONS_JOINED);
        EXPECT_EQ(r.result, OPTION_UNKNOWN);
        EXPECT_EQ(r.name_length, k == 1 ? 6u : 3u) << argv[k];
    }
}

} // namespace
