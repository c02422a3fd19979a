#include "quiz/letters.h"

namespace lq {

const std::array<Letter, kLetterCount> Letters = {{
    {1, "alef", 'A', "1", u"alef", 2},
    {2, "betvet", 'B', "2", u"bet/vet", 3},
    {3, "gimel", 'C', "3", u"gimel", 4},
    {4, "dalet", 'D', "4", u"dalet", 5},
    {5, "hey", 'E', "5", u"hey", 6},
    {6, "vav", 'F', "6", u"vav", 7},
    {7, "zayin", 'G', "7", u"zayin", 8},
    {8, "chet", 'H', "8", u"chet", 9},
    {9, "tet", 'I', "9", u"tet", 10},
    {10, "yud", 'J', "10", u"yud", 11},
    {11, "kafhaf", 'L', "20", u"kaf/haf", 12},
    {12, "lamed", 'M', "30", u"lamed", 13},
    {13, "mem", 'O', "40", u"mem", 14},
    {14, "nun", 'Q', "50", u"nun", 15},
    {15, "samech", 'R', "60", u"samech", 16},
    {16, "ayin", 'S', "70", u"ayin", 17},
    {17, "peyfey", 'U', "80", u"pey/fey", 18},
    {18, "tzadik", 'W', "90", u"tzadik", 19},
    {19, "quf", 'X', "100", u"quf", 20},
    {20, "resh", 'Y', "200", u"resh", 21},
    {21, "shinsin", 'Z', "300", u"shin/sin", 22},
    {22, "taf", '[', "400", u"taf", 23},
    {23, "kafsofit", 'K', "20", u"kaf sofit", 24},
    {24, "memsofit", 'N', "40", u"mem sofit", 25},
    {25, "nunsofit", 'P', "50", u"nun sofit", 26},
    {26, "peysofit", 'T', "80", u"pey sofit", 27},
    {27, "tzadiksofit", 'V', "90", u"tzadik sofit", 28},
}};

std::array<std::string, kLetterCount> Recording;

const std::array<std::int32_t, kLetterCount> NameModeOrder = {
    1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 23, 12, 13,
    24, 14, 25, 15, 16, 17, 26, 18, 27, 19, 20, 21, 22};

const std::array<std::int32_t, kLetterCount> ValueModeOrder = {
    1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
    15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27};

const std::array<const char*, kLetterCount> RecordingLoadOrder = {
    "alef",   "ayin",     "betvet",   "gimel",       "dalet",  "hey",
    "kafhaf", "chet",     "quf",      "kafsofit",    "lamed",  "memsofit",
    "mem",    "nunsofit", "nun",      "peyfey",      "peysofit", "resh",
    "samech", "shinsin",  "tet",      "taf",         "tzadiksofit",
    "tzadik", "vav",      "yud",      "zayin"};

}  // namespace lq
