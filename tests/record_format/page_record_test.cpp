// The page's record: what the page measured and what the browser told,
// written by the library that writes picalc-record's, checked against the
// record and JSON the page wrote before it had this library; and the build
// line that names the picalc which ran.
#include "record_format.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>

namespace picalc::record_format {
namespace {

using Json = nlohmann::ordered_json;

const std::string wasm_binary = std::string("\0asm\1\0\0\0", 8) +
                                "picalc build: version=1.0.0; compiler=Clang 14.0.6; flags=-O2; "
                                "linking=static; target=generic-wasm32; libc=wasi-libc" +
                                std::string(1, '\0') + "tail";

std::string output_of(const char* seconds) {
    std::string text = test::read_data_file("run_763_stomer.txt");
    return text.replace(text.find("<seconds>"), 9, seconds);
}

// What the page hands over for its golden record: three runs of 763 digits,
// three rounds of two copies, on a phone-sized browser with 8 GiB.
Json measurement() {
    return {{"date", "2026-12-09"},
            {"arguments", {"763", "s"}},
            {"digits", 763},
            {"formula", "Stomer"},
            {"times", {2.3, 2.118, 2.0}},
            {"copies", {{2.5, 2.4}, {2.2, 2.6}, {2.45, 2.41}}},
            {"outputs", {output_of("2.300000"), output_of("2.118000"), output_of("2.000000")}},
            {"stage_seconds",
             {{"pi digits", 0.012}, {"integration table", 1.8}, {"square-root loops", 0.29}}},
            {"browser", "Firefox 153"},
            {"engine", "Gecko"},
            {"platform", "Linux x86_64"},
            {"system", "Linux"},
            {"platform_version", nullptr},
            {"model", nullptr},
            {"architecture", "x86_64"},
            {"logical_processors", 2},
            {"memory_gib", 8}};
}

TEST(PageRecord, TextAndJsonAreTheCommittedOnes) {
    Record record;
    std::string error;
    ASSERT_TRUE(record_from_page(measurement().dump(), wasm_binary, record, error)) << error;
    EXPECT_EQ(record_text(record), test::read_data_file("golden/page_record.txt"));
    EXPECT_EQ(nlohmann::json::parse(record_json(record)),
              nlohmann::json::parse(test::read_data_file("golden/page_record.json")));
}

TEST(PageRecord, TellsWhatTheBrowserToldAndNoMore) {
    const struct {
        const char* member;
        Json value;
        const char* system; // the record's "System:" line
        const char* memory; // its memory, in "Hardware:"
    } cases[] = {
        {"model", "Pixel 8", "Linux (model Pixel 8), x86_64", "memory 8192 MiB"},
        {"platform_version", "14.0.0", "Linux (platform version 14.0.0), x86_64",
         "memory 8192 MiB"},
        {"system", nullptr, "unknown, x86_64", "memory 8192 MiB"},
        {"architecture", nullptr, "Linux, unknown", "memory 8192 MiB"},
        {"memory_gib", 0.5, "Linux, x86_64", "memory 512 MiB"},
        {"memory_gib", nullptr, "Linux, x86_64", "memory unknown"},
    };
    for (const auto& c : cases) {
        Json json = measurement();
        json[c.member] = c.value;
        Record record;
        std::string error;
        ASSERT_TRUE(record_from_page(json.dump(), wasm_binary, record, error)) << error;
        const std::string text = record_text(record);
        EXPECT_NE(text.find(std::string("\nSystem: ") + c.system + "\n"), std::string::npos)
            << c.member << "\n"
            << text.substr(0, 600);
        EXPECT_NE(text.find(std::string("; ") + c.memory + ";"), std::string::npos) << c.member;
    }
    // No build line: the record says so rather than guess.
    Record record;
    std::string error;
    ASSERT_TRUE(record_from_page(measurement().dump(), std::string("\0asm", 4), record, error))
        << error;
    EXPECT_NE(record_text(record).find("\nBuild: picalc unknown, Firefox 153 (Gecko engine), "
                                       "WebAssembly page, unknown, C library unknown\n"),
              std::string::npos);
    EXPECT_TRUE(nlohmann::json::parse(record_json(record))["picalc_record_version"].is_null());
}

TEST(PageRecord, RefusesAMeasurementItCannotRecord) {
    const struct {
        const char* member;
        Json value;
        const char* error;
    } cases[] = {
        {"times", Json::array(), "\"times\" and \"outputs\" do not give one output for each run"},
        {"times", {2.3, 2.118}, "\"times\" and \"outputs\" do not give one output for each run"},
        {"times", {2.3, -1, 2.0}, "\"times\" is not an array of times in seconds"},
        {"times", {2.3, "2.1", 2.0}, "\"times\" is not an array of times in seconds"},
        {"copies", {{2.5}, Json::array()}, "\"copies\" is not an array of rounds of times"},
        {"outputs", {1, 2, 3}, "\"outputs\" is not an array of text"},
        {"stage_seconds", {1, 2}, "\"stage_seconds\" is not an object"},
        {"logical_processors", "2", "\"logical_processors\" is not a whole number or null"},
        {"browser", 153, "\"browser\" is not text or null"},
        {"digits", nullptr, "\"digits\" is not a count of digits"},
        {"memory_gib", 1e300, "\"memory_gib\" is not a memory size a browser reports"},
        {"arguments", {"763", 5}, "\"arguments\" is not an array of text"},
    };
    for (const auto& c : cases) {
        Json json = measurement();
        json[c.member] = c.value;
        Record record;
        std::string error;
        EXPECT_FALSE(record_from_page(json.dump(), wasm_binary, record, error)) << c.error;
        EXPECT_EQ(error, c.error);
    }
    Json json = measurement();
    json.erase("engine");
    Record record;
    std::string error;
    EXPECT_FALSE(record_from_page(json.dump(), wasm_binary, record, error));
    EXPECT_EQ(error, "no \"engine\" member");
    EXPECT_FALSE(record_from_page("[]", wasm_binary, record, error));
    EXPECT_EQ(error, "not a JSON object");
}

TEST(BuildLine, IsReadFromTheLineABinaryEmbeds) {
    const std::string line = "picalc build: version=1.0.0; compiler=GCC 12.2.0; flags=-O2 "
                             "-ffp-contract=off; linking=static; target=linux-aarch64; "
                             "libc=glibc 2.36";
    const std::string bare_prefix = std::string("picalc build: ") + '\0';
    BuildInfo build;
    ASSERT_TRUE(parse_build_info(std::string("\x7f"
                                             "ELF\0\0",
                                             6) +
                                     bare_prefix + "junk" + std::string(1, '\0') + line +
                                     std::string(1, '\0') + "tail",
                                 build));
    EXPECT_EQ(build.version, "1.0.0");
    EXPECT_EQ(build.compiler, "GCC 12.2.0");
    EXPECT_EQ(build.flags, "-O2 -ffp-contract=off");
    EXPECT_EQ(build.linking, "static");
    EXPECT_EQ(build.target, "linux-aarch64");
    EXPECT_EQ(build.libc, "glibc 2.36");
    BuildInfo none;
    EXPECT_FALSE(parse_build_info("#!/bin/sh\nexec picalc \"$@\"\n" + bare_prefix, none));
    EXPECT_EQ(none.version, "");
}
} // namespace
} // namespace picalc::record_format
