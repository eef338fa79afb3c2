// The wildcard matcher on a corpus written out by the fnmatch baseline (--dump DIR, named by
// VARNEL_CORPUS): node patterns over node names, message patterns over messages, text mode
// (case folded) and whole-string, as fnmatch(FNM_CASEFOLD). The hit count of every pattern
// must equal the one the dump expects, or the run fails.
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "filter/wildcard_pattern.h"

namespace varnel {
namespace {

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct Set {
  std::vector<std::string> texts;
  std::vector<WildcardPattern> patterns;
  std::vector<long> expected;
};

struct DumpedCorpus {
  Set nodes, messages;
  bool loaded = false;
  DumpedCorpus() {
    const char* dir = std::getenv("VARNEL_CORPUS");
    if (!dir) return;
    std::string d = dir;
    std::map<std::string, long> hits;  // "node\tpattern" -> hits
    for (const std::string& line : Lines(d + "/expected_hits.txt")) {
      auto tab = line.rfind('\t');
      hits[line.substr(0, tab)] = std::atol(line.c_str() + tab + 1);
    }
    auto load = [&](Set& s, const std::string& kind, const std::string& texts,
                    const std::string& patterns) {
      s.texts = Lines(d + "/" + texts);
      for (const std::string& p : Lines(d + "/" + patterns)) {
        s.patterns.emplace_back(p, CaseMode::Text);
        s.expected.push_back(hits[kind + "\t" + p]);
      }
    };
    load(nodes, "node", "nodes.txt", "node_patterns.txt");
    load(messages, "message", "messages.txt", "message_patterns.txt");
    loaded = !nodes.texts.empty() && !messages.texts.empty();
  }
};

// Hits of every pattern of s, in pattern order.
std::vector<long> Count(const Set& s) {
  std::vector<long> hits(s.patterns.size());
  for (std::size_t p = 0; p < s.patterns.size(); ++p)
    for (const std::string& t : s.texts) hits[p] += s.patterns[p].Matches(t);
  return hits;
}

void BM_WildcardOnDumpedCorpus(benchmark::State& state) {
  static const DumpedCorpus c;
  if (!c.loaded) {
    state.SkipWithError("VARNEL_CORPUS names no dumped corpus");
    return;
  }
  bool right = true;
  for (auto _ : state) {
    right = Count(c.nodes) == c.nodes.expected && Count(c.messages) == c.messages.expected;
    benchmark::DoNotOptimize(right);
  }
  if (!right) state.SkipWithError("hit counts differ from the expected ones");
  state.SetItemsProcessed(state.iterations() *
                          static_cast<long>(c.nodes.texts.size() * c.nodes.patterns.size() +
                                            c.messages.texts.size() * c.messages.patterns.size()));
}
BENCHMARK(BM_WildcardOnDumpedCorpus)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace varnel
