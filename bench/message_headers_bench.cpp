// Header handling on long values: folding and reading back an address header with many
// recipients, parsing it into items, and hostile inputs that could make the parsers rescan.
#include <benchmark/benchmark.h>

#include <string>

#include "message/email_address.h"
#include "message/header_list.h"
#include "message/message_errors.h"

namespace mailferry {
namespace {

std::string Recipients(int count) {
  std::string value;
  for (int i = 0; i < count; ++i) {
    if (i > 0) value += ", ";
    value += "\"User " + std::to_string(i) + "\" <u" + std::to_string(i) + "@example.com>";
  }
  return value;
}

void BM_SetAndGetLongHeader(benchmark::State& state) {
  const std::string value = Recipients(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    TMfHeaderList list;
    list.Add("Received: from somewhere");
    list.SetValue("To", value);
    list.Add("Subject: x");
    benchmark::DoNotOptimize(list.GetValue("subject"));
    benchmark::DoNotOptimize(list.GetValue("to"));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * value.size()));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SetAndGetLongHeader)->RangeMultiplier(10)->Range(10, 10000)->Complexity();

void BM_ParseRecipients(benchmark::State& state) {
  const std::string value = Recipients(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    TMfEMailAddressList list;
    list.ParseAddresses(value);
    benchmark::DoNotOptimize(list.Count());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * value.size()));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ParseRecipients)->RangeMultiplier(10)->Range(10, 10000)->Complexity();

// Runs of one character that each start a new parser state.
void BM_HostileAddressText(benchmark::State& state) {
  static const char* const kPatterns[] = {"\"", "(", "a\"", "\\", " ", "<", "a@b."};
  const std::string unit = kPatterns[state.range(1)];
  std::string text;
  while (text.size() < static_cast<std::size_t>(state.range(0))) text += unit;
  for (auto _ : state) {
    TMfEMailAddressList list;
    try {
      list.ParseAddresses(text);
    } catch (const EMfEmailParseError&) {
    }
    TMfEMailAddressItem item;
    try {
      item.SetText(text);
    } catch (const EMfEmailParseError&) {
    }
    benchmark::DoNotOptimize(item.Text());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_HostileAddressText)->ArgsProduct({{10000, 100000}, {0, 1, 2, 3, 4, 5, 6}});

void BM_FoldHostileLine(benchmark::State& state) {
  static const char* const kPatterns[] = {" ", ",", "\r\n ", "a \"b", "\r\n"};
  const std::string unit = kPatterns[state.range(1)];
  std::string text = "X-Test: ";
  while (text.size() < static_cast<std::size_t>(state.range(0))) text += unit;
  const TMfHeaderList list;
  for (auto _ : state) benchmark::DoNotOptimize(list.FoldLine(text));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_FoldHostileLine)->ArgsProduct({{10000, 100000}, {0, 1, 2, 3, 4}});

}  // namespace
}  // namespace mailferry

BENCHMARK_MAIN();
