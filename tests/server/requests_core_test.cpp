// What the request server decides without the network: the checks on names, ids
// and search text, the rate limit, the PIN's limit on guessing, where to listen,
// and the list of requests in the library's file.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "library/singer_rotation.h"
#include "requests/input_checks.h"
#include "requests/listen_address.h"
#include "requests/pin_guard.h"
#include "requests/rate_limiter.h"
#include "requests/request_list.h"
#include "song_library.h"

namespace lyrvox {
namespace {

using testing::SongLibrary;

TEST(RequestChecks, SingerNames) {
    struct Case {
        std::string typed;
        std::optional<std::string> kept;  // nullopt: refused
    };
    const std::string forty(40, 'a');
    std::string fortyAccented;
    for (int i = 0; i < 40; ++i) fortyAccented += "é";  // 80 bytes, 40 characters
    const std::vector<Case> cases = {
        {"Ann", "Ann"},
        {"  Ann Lee  ", "Ann Lee"},
        {"Zoë 🎤", "Zoë 🎤"},
        {forty, forty},
        {fortyAccented, fortyAccented},
        {forty + "a", std::nullopt},
        {"", std::nullopt},
        {"    ", std::nullopt},
        {"Ann\nLee", std::nullopt},
        {"Ann\tLee", std::nullopt},
        {std::string("Ann\0Lee", 7), std::nullopt},
        {"Ann\x7f", std::nullopt},
        {"Ann\xc2\x85", std::nullopt},  // NEL, a C1 control
        {"Ann\xe2\x80\xae"
         "eeL",
         std::nullopt},                     // right-to-left override
        {"Ann\xe2\x80\xa8", std::nullopt},  // line separator
        {"Ann\xff", std::nullopt},          // not UTF-8
        {"\xc0\xaf", std::nullopt},         // overlong "/"
        {"\xed\xa0\x80", std::nullopt},     // a surrogate
        {"Ann\xc3", std::nullopt},          // cut short
        {"<script>alert(1)</script>", std::nullopt},
        {"Tom & Jerry's", "Tom & Jerry's"},
    };
    for (const Case& c : cases) {
        std::string why;
        EXPECT_EQ(checkSingerName(c.typed, &why), c.kept) << c.typed;
        EXPECT_EQ(why.empty(), c.kept.has_value()) << c.typed;
    }
}

TEST(RequestChecks, IdsAndQueries) {
    struct IdCase {
        std::string text;
        std::optional<std::int64_t> id;
    };
    for (const IdCase& c : std::vector<IdCase>{{"1", 1},
                                               {"42", 42},
                                               {"9007199254740991", 9007199254740991},
                                               {"9007199254740992", std::nullopt},
                                               {"0", std::nullopt},
                                               {"007", std::nullopt},
                                               {"-1", std::nullopt},
                                               {"+1", std::nullopt},
                                               {" 1", std::nullopt},
                                               {"1e3", std::nullopt},
                                               {"..", std::nullopt},
                                               {"", std::nullopt},
                                               {"99999999999999999999", std::nullopt}})
        EXPECT_EQ(parseId(c.text), c.id) << c.text;
    struct NumberCase {
        double number;
        std::optional<std::int64_t> id;
    };
    for (const NumberCase& c : std::vector<NumberCase>{{3, 3},
                                                       {0, std::nullopt},
                                                       {-2, std::nullopt},
                                                       {1.5, std::nullopt},
                                                       {1e300, std::nullopt},
                                                       {0.0 / 0.0, std::nullopt}})
        EXPECT_EQ(idFromNumber(c.number), c.id) << c.number;
    EXPECT_TRUE(checkQuery("wat"));
    EXPECT_TRUE(checkQuery(std::string(100, 'x')));
    EXPECT_FALSE(checkQuery(std::string(101, 'x')));
    EXPECT_FALSE(checkQuery("wat\x01"));
    EXPECT_FALSE(checkQuery("wat\xff"));
}

TEST(RequestChecks, ListenAddresses) {
    struct Case {
        std::string text;
        std::optional<ListenAddress> address;
    };
    for (const Case& c : std::vector<Case>{{"8080", ListenAddress{"", 8080}},
                                           {"127.0.0.1:9000", ListenAddress{"127.0.0.1", 9000}},
                                           {"[::1]:8080", ListenAddress{"::1", 8080}},
                                           {"0.0.0.0:65535", ListenAddress{"0.0.0.0", 65535}},
                                           {"80", std::nullopt},
                                           {"65536", std::nullopt},
                                           {"", std::nullopt},
                                           {"host:8080", std::nullopt},
                                           {"::1:8080", std::nullopt},
                                           {"127.0.0.1:", std::nullopt},
                                           {":8080", std::nullopt},
                                           {"8080x", std::nullopt}}) {
        std::string why;
        EXPECT_EQ(parseListenAddress(c.text, &why), c.address) << c.text;
        EXPECT_EQ(why.empty(), c.address.has_value()) << c.text;
    }
}

TEST(RequestChecks, ServeOptionTakenOutOfTheCommandLine) {
    struct Case {
        std::vector<std::string> args;
        std::optional<ListenAddress> address;
        bool ok;
        std::vector<std::string> left;
    };
    const std::vector<Case> cases = {
        {{"a.cdg"}, std::nullopt, true, {"a.cdg"}},
        {{"--serve", "8080", "a.cdg"}, ListenAddress{"", 8080}, true, {"a.cdg"}},
        {{"--new-instance", "--serve=127.0.0.1:9000"},
         ListenAddress{"127.0.0.1", 9000},
         true,
         {"--new-instance"}},
        {{"--serve", "80"}, std::nullopt, false, {}},
        {{"--serve"}, std::nullopt, false, {}},
        {{"--", "--serve", "8080"}, std::nullopt, true, {"--", "--serve", "8080"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        bool ok = false;
        std::string why;
        EXPECT_EQ(takeServeOption(args, ok, why), c.address) << c.args.front();
        EXPECT_EQ(ok, c.ok) << c.args.front();
        EXPECT_EQ(args, c.left) << c.args.front();
    }
}

// A clock the tests move by hand.
struct FakeClock {
    std::int64_t now = 1000000;
    MillisecondClock clock() {
        return [this] { return now; };
    }
};

TEST(RequestLimits, TokenBucketPerClient) {
    FakeClock time;
    RateLimiter limiter({3, 2}, time.clock(), 2);
    // Steps: advance the clock by `ms`, then ask as `client`.
    struct Step {
        std::int64_t ms;
        std::string client;
        bool allowed;
    };
    const std::vector<Step> steps = {
        {0, "a", true},    {0, "a", true}, {0, "a", true}, {0, "a", false},  // the burst spent
        {499, "a", false}, {1, "a", true},  // one token every 500 ms
        {0, "b", true},                     // another client has its own
        {0, "c", false},                    // two clients followed, neither full again: refused
        {5000, "c", true},                  // both full again: forgotten, room for a new one
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        time.now += steps[i].ms;
        EXPECT_EQ(limiter.allow(steps[i].client), steps[i].allowed) << "step " << i;
    }
    for (int i = 0; i < 3; ++i) limiter.allow("c");
    EXPECT_EQ(limiter.retryAfterSeconds("c"), 1);
}

TEST(RequestLimits, WrongPinsSlowedAndLockedOut) {
    FakeClock time;
    PinGuard guard("123456", time.clock(), {2, 1000, 5, 60000, 2});
    using V = PinGuard::Verdict;
    struct Step {
        std::int64_t ms;
        std::string client, pin;
        V verdict;
        std::int64_t retryAfterMs;
    };
    const std::vector<Step> steps = {
        {0, "a", "000000", V::Wrong, 0},
        {0, "a", "12345", V::Wrong, 0},  // free tries: no wait yet
        {0, "a", "1234567", V::Wrong, 1000},
        {500, "a", "123456", V::Waiting, 500},   // even the right one waits
        {500, "a", "000001", V::Wrong, 2000},    // the wait doubles
        {2000, "a", "000002", V::Wrong, 60000},  // five wrong in a row: locked out
        {59999, "a", "123456", V::Waiting, 1},
        {1, "a", "123456", V::Accepted, 0},
        {0, "a", "000003", V::Wrong, 0},  // the right one cleared the count
        {0, "b", "123456", V::Accepted, 0},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        time.now += s.ms;
        const PinGuard::Outcome got = guard.check(s.client, s.pin);
        EXPECT_EQ(got.verdict, s.verdict) << "step " << i;
        EXPECT_EQ(got.retryAfterMs, s.retryAfterMs) << "step " << i;
    }
}

TEST(RequestLimits, ManyAddressesShareOneLimit) {
    FakeClock time;
    PinGuard guard("123456", time.clock(), {2, 1000, 5, 60000, 2});
    // Ten clients with one guess each reach the whole server's lock (5 x 2).
    for (int i = 0; i < 10; ++i) {
        time.now += 70000;  // each client's own wait long over
        guard.check("client" + std::to_string(i), "000000");
    }
    EXPECT_EQ(guard.check("fresh", "123456").verdict, PinGuard::Verdict::Waiting);
    time.now += 60000;
    EXPECT_EQ(guard.check("fresh", "123456").verdict, PinGuard::Verdict::Accepted);
    EXPECT_EQ(randomPin().size(), 6u);
}

TEST(RequestListTest, ApprovedIntoTheRotationDeclinedAndWithdrawn) {
    SongLibrary lib;
    RequestList list(*lib.index);
    SingerRotation rotation(*lib.index);
    ASSERT_TRUE(rotation.addSinger("Ann"));
    using O = RequestList::Outcome;
    SongRequest made;
    ASSERT_EQ(list.add("ann", lib.ids[0], "phone1", 100, &made), O::Done) << list.error();
    EXPECT_EQ(made.title, "Waterloo");
    EXPECT_EQ(made.singer, "ann");
    EXPECT_EQ(list.add("Bob", lib.ids[1], "phone2", 101), O::Done);
    EXPECT_EQ(list.add("Bob", lib.ids[2], "phone2", 102), O::Done);
    EXPECT_EQ(list.add("Bob", 999999, "phone2", 103), O::NoSuchSong);
    EXPECT_EQ(list.add("Bob", lib.ids[0], "phone2", 104), O::Done);
    EXPECT_EQ(list.add("Bob", lib.ids[0], "phone2", 105), O::TooMany);
    ASSERT_EQ(list.pending().size(), 4u);
    const std::int64_t bobsFirst = list.pending()[1].id;

    struct Case {
        const char* what;
        std::function<O()> act;
        O outcome;
    };
    const std::vector<Case> cases = {
        {"another phone withdraws", [&] { return list.withdraw(bobsFirst, "phone1"); },
         O::NotYours},
        {"its own phone withdraws", [&] { return list.withdraw(bobsFirst, "phone2"); }, O::Done},
        {"withdrawn twice", [&] { return list.withdraw(bobsFirst, "phone2"); }, O::NoSuchRequest},
        {"approved into Ann's list", [&] { return list.approve(made.id, rotation); }, O::Done},
        {"approved twice", [&] { return list.approve(made.id, rotation); }, O::NoSuchRequest},
        {"declined", [&] { return list.decline(list.pending().front().id); }, O::Done},
        {"a new singer approved", [&] { return list.approve(list.pending().front().id, rotation); },
         O::Done},
    };
    for (const Case& c : cases) EXPECT_EQ(c.act(), c.outcome) << c.what;
    EXPECT_TRUE(list.pending().empty());
    ASSERT_EQ(rotation.singers().size(), 2u);
    EXPECT_EQ(rotation.singers()[0].name, "Ann");  // matched without regard to case
    ASSERT_EQ(rotation.singers()[0].songs.size(), 1u);
    EXPECT_EQ(rotation.singers()[0].songs[0].title, "Waterloo");
    EXPECT_EQ(rotation.singers()[1].name, "Bob");
    // Kept in the file: a new rotation reads what the approvals wrote.
    EXPECT_EQ(SingerRotation(*lib.index).singers().size(), 2u);
}

// A library of the third layout opens in the fourth with its songs and rotation,
// and keeps requests from then on.
TEST(RequestListTest, ThirdLayoutBroughtUpKeepsItsData) {
    SongLibrary lib;
    {
        SingerRotation rotation(*lib.index);
        ASSERT_TRUE(rotation.addSinger("Ann"));
    }
    lib.index.reset();
    lib.sqlite("DROP TABLE requests; PRAGMA user_version=3");
    LibraryIndex reopened(lib.db);
    ASSERT_TRUE(reopened.isOpen()) << reopened.notice();
    EXPECT_EQ(lib.sqlite("PRAGMA user_version"), "4\n");
    EXPECT_EQ(reopened.search("waterloo", 5).total, 1);
    EXPECT_EQ(SingerRotation(reopened).singers().size(), 1u);
    RequestList list(reopened);
    EXPECT_EQ(list.add("Ann", lib.ids[0], "phone", 1), RequestList::Outcome::Done);
    EXPECT_EQ(RequestList(reopened).pending().size(), 1u);
}

}  // namespace
}  // namespace lyrvox
