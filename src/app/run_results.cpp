#include "app/run_results.h"

#include <cstdio>

#include "platform/offline/error_text.h"
#include "platform/offline/host_io.h"
#include "shell/run_record.h"

namespace hv::app {
namespace {

namespace fs = std::filesystem;

std::string LastPart(const std::string& name) {
  const std::size_t at = name.find_last_of('\\');
  return at == std::string::npos ? name : name.substr(at + 1);
}

// A hive as the analysis left it: compacted, or not with the analysis's reason.
HiveResult AnalysedResult(const AnalysedHive& hive, std::string file) {
  HiveResult result;
  result.label = LastPart(hive.name);
  result.name = hive.name;
  result.file = std::move(file);
  result.currentSize = hive.currentSize;
  if (hive.copied) {
    result.newSize = hive.newSize;
    result.state = "compacted";
  } else {
    result.state = "not compacted";
    result.reason = hive.reason.empty() ? "the copy could not be made" : hive.reason;
  }
  return result;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

std::vector<HiveResult> HiveResults(const offline::OfflinePlatform& platform) {
  std::vector<HiveResult> results;
  const offline::RunReport report = platform.report();
  std::vector<bool> matched(report.outcomes.size(), false);
  auto applyOutcome = [&](HiveResult& result) {
    std::error_code ec;
    for (std::size_t i = 0; i < report.outcomes.size(); ++i) {
      const offline::ReplacementOutcome& o = report.outcomes[i];
      if (result.file.empty() || !fs::equivalent(o.hive, result.file, ec)) continue;
      matched[i] = true;
      result.state = o.replaced ? "replaced" : "left alone";
      result.reason = o.why;
      if (o.replaced) result.newSize = static_cast<std::int64_t>(o.newSize);
    }
  };
  if (const auto& analysis = TheRunRecord().lastAnalysis) {
    for (const AnalysedHive& hive : analysis->hives) {
      const auto host = platform.HostFileOfHive(hive.name);
      HiveResult result = AnalysedResult(hive, host ? host->string() : hive.file);
      if (!hive.copied && host) {
        // The platform kept the engine's own words for the copy that failed.
        fs::path copy = *host;
        copy += ".hvx";
        if (std::string why = platform.SaveFailure(copy); !why.empty()) result.reason = std::move(why);
      }
      applyOutcome(result);
      results.push_back(std::move(result));
    }
  }
  for (std::size_t i = 0; i < report.outcomes.size(); ++i) {
    if (matched[i]) continue;
    const offline::ReplacementOutcome& o = report.outcomes[i];
    HiveResult result;
    result.label = o.hive.filename().string();
    result.file = o.hive.string();
    result.currentSize = static_cast<std::int64_t>(o.oldSize);
    result.state = o.replaced ? "replaced" : "left alone";
    if (o.replaced) result.newSize = static_cast<std::int64_t>(o.newSize);
    result.reason = o.why;
    results.push_back(std::move(result));
  }
  return results;
}

std::vector<HiveResult> LiveHiveResults(const RunRecord& record) {
  std::vector<HiveResult> results;
  if (!record.lastAnalysis) return results;
  for (const AnalysedHive& hive : record.lastAnalysis->hives) {
    HiveResult result = AnalysedResult(hive, hive.file);
    if (hive.replaceRequested) {
      if (*hive.replaceRequested) {
        result.reason = "to be replaced at the restart";
      } else {
        result.state = "left alone";
        result.reason = "the system refused to replace it at the restart";
      }
    }
    results.push_back(std::move(result));
  }
  return results;
}

std::string ResultsJson(const std::vector<HiveResult>& hives, int exitCode) {
  std::int64_t current = 0;
  std::int64_t made = 0;
  std::string text = "{\n  \"hives\": [";
  for (std::size_t i = 0; i < hives.size(); ++i) {
    const HiveResult& h = hives[i];
    current += h.currentSize;
    made += h.newSize.value_or(h.currentSize);
    text += std::string(i == 0 ? "\n" : ",\n") + "    {\"name\": " + Quoted(h.name.empty() ? h.label : h.name) +
            ", \"file\": " + Quoted(h.file) + ", \"currentSize\": " + std::to_string(h.currentSize) +
            ", \"newSize\": " + (h.newSize ? std::to_string(*h.newSize) : std::string("null")) +
            ", \"state\": " + Quoted(h.state) + ", \"reason\": " + Quoted(h.reason) + "}";
  }
  text += std::string(hives.empty() ? "" : "\n  ") + "],\n";
  text += "  \"totals\": {\"currentSize\": " + std::to_string(current) + ", \"newSize\": " + std::to_string(made) +
          "},\n";
  text += "  \"exitCode\": " + std::to_string(exitCode) + "\n}\n";
  return text;
}

std::optional<std::string> WriteResultsJson(const fs::path& file, const std::vector<HiveResult>& hives, int exitCode) {
  const DWORD error = offline::host::WriteFileAtomically(file, ResultsJson(hives, exitCode));
  if (error == err::kSuccess) return std::nullopt;
  return file.string() + " cannot be written: " + offline::ErrorText(error);
}

}  // namespace hv::app
