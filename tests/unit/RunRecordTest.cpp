// The run record and its JSON: texts from devices and port names survive a
// round trip through a real JSON parser, each failure says what to do next,
// and the record holds only what the run really learnt.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "formats/Json.h"
#include "ui/RunRecord.h"

namespace torvane {
namespace {

using nlohmann::json;

TEST(JsonString, EveryTextComesBackAsItWasAndInvalidBytesBecomeReplacementCharacters) {
    struct Case {
        std::string text;
        std::string parsed;  // what a JSON parser reads back
    };
    const Case cases[] = {
        {"plain", "plain"},
        {"say \"hi\" \\ back", "say \"hi\" \\ back"},
        {"tab\tline\nreturn\r", "tab\tline\nreturn\r"},
        {std::string("nul\0bell\x07 del\x7F", 13), std::string("nul\0bell\x07 del\x7F", 13)},
        {"Überwachung – 温度 🔌", "Überwachung – 温度 🔌"},
        {"cut \xC3", "cut \xEF\xBF\xBD"},                  // a sequence cut short at the end
        {"lone \x80 byte", "lone \xEF\xBF\xBD byte"},       // a continuation byte on its own
        {"overlong \xC0\xAF", "overlong \xEF\xBF\xBD\xEF\xBF\xBD"},
        {"surrogate \xED\xA0\x80", "surrogate \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        const std::string encoded = JsonString(c.text);
        EXPECT_EQ(encoded.find('\n'), std::string::npos) << encoded;  // a record stays on one line
        const json parsed = json::parse(encoded);                      // throws on invalid JSON or UTF-8
        EXPECT_EQ(parsed.get<std::string>(), c.parsed) << encoded;
    }
}

TEST(JsonObject, KeysKeepTheirOrderAndNumbersIgnoreTheLocale) {
    const std::string text = JsonObject()
                                 .add("name", "a \"quoted\" name")
                                 .add("count", 3)
                                 .add("seconds", 1.5)
                                 .add("ok", false)
                                 .addNull("none")
                                 .addRaw("list", JsonArray().add("x").add("ü").text())
                                 .text();
    const json o = json::parse(text);
    EXPECT_EQ(o["name"], "a \"quoted\" name");
    EXPECT_EQ(o["count"], 3);
    EXPECT_DOUBLE_EQ(o["seconds"].get<double>(), 1.5);
    EXPECT_EQ(o["ok"], false);
    EXPECT_TRUE(o["none"].is_null());
    EXPECT_EQ(o["list"], json::array({"x", "ü"}));
    EXPECT_LT(text.find("\"name\""), text.find("\"list\""));
}

TEST(NextStep, EveryFailureSaysWhatToDoAndSuccessSaysNothing) {
    struct Case {
        Outcome outcome;
        std::vector<std::string> mentions;
    };
    const Case failures[] = {
        {Outcome::NotFound, {"power", "cable", "wake-up window", "port"}},
        {Outcome::PortUnusable, {"torvane-cli ports", "ln -s RECIPE"}},
        {Outcome::NotAcknowledged, {"cable", "noise", "try again"}},
        {Outcome::Refused, {"cable", "noise", "try again"}},
        {Outcome::NotSuitable, {"hardware", "preparation", "codes"}},
        {Outcome::Incompatible, {"boot loader"}},
        {Outcome::UnknownDevice, {"chip"}},
        {Outcome::NoImage, {"torvane-cli images"}},
    };
    for (const auto& c : failures) {
        const std::string next = NextStep(c.outcome, "ln -s RECIPE");
        EXPECT_TRUE(next.starts_with("Next: ")) << next;
        EXPECT_EQ(next.find('\n'), std::string::npos) << next;
        for (const auto& m : c.mentions) EXPECT_NE(next.find(m), std::string::npos) << m << " in: " << next;
        EXPECT_NE(ExitCodeOf(c.outcome), 0);
    }
    for (Outcome o : {Outcome::Programmed, Outcome::RepeatDone, Outcome::Aborted}) EXPECT_EQ(NextStep(o, "x"), "");
}

TEST(IsoUtc, CountsDaysAcrossLeapYears) {
    EXPECT_EQ(IsoUtc(0), "1970-01-01T00:00:00Z");
    EXPECT_EQ(IsoUtc(951782400), "2000-02-29T00:00:00Z");
    EXPECT_EQ(IsoUtc(4102444799), "2099-12-31T23:59:59Z");
}

TEST(RunRecordJson, AFailedSearchClaimsNoDeviceWhateverAnEarlierRunLeft) {
    FrontEndContext ctx;
    // What an earlier run in the same window learnt.
    ctx.identity.chipCode = 252;
    ctx.identity.biosVersion = 10;
    ctx.identity.identitySeen = 1;
    ctx.outcome = Outcome::PortUnusable;
    const json r = json::parse(RunRecordJson(ctx, {"2024-01-02T03:04:05Z", "COM7", "", 0.25}));
    EXPECT_EQ(r["port"], "COM7");
    EXPECT_TRUE(r["device_path"].is_null());
    for (const char* key : {"chip_code", "chip_name", "boot_loader_version", "hardware_code", "image_size"})
        EXPECT_TRUE(r[key].is_null()) << key;
    EXPECT_EQ(r["exit_code"], ExitPortUnusable);
}

}  // namespace
}  // namespace torvane
