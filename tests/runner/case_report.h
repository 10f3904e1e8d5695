// How a script test case's outcome is judged and its failure described in one line.
#pragma once
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace scripttest {

struct Expectation {
  int code;
  std::string out;                 // exact standard output
  std::optional<std::string> err;  // a text standard error must contain (its final line ends are ignored);
                                   // an empty text: standard error must be empty
};

struct Outcome {
  int code;
  std::string out;                 // line ends already turned into LF
  std::string err;
};

// The Windows console writes text with CR LF line ends.
inline std::string crlf_to_lf(std::string_view s) {
  std::string r;
  r.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i)
    if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')) r += s[i];
  return r;
}

inline std::optional<int> parse_code(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  size_t start = i;
  if (i < text.size() && text[i] == '-') ++i;
  size_t digits = i;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
  if (i == digits || i - digits > 9) return std::nullopt;
  const int value = std::stoi(std::string(text.substr(start, i - start)));
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i != text.size()) return std::nullopt;
  return value;
}

// A short quoted excerpt of one line around column `at`, with control characters escaped.
inline std::string excerpt(std::string_view line, size_t at) {
  constexpr size_t WIDTH = 60, BEFORE = 20;
  const size_t from = at > BEFORE && line.size() > WIDTH ? std::min(at - BEFORE, line.size() - WIDTH) : 0;
  std::string r = from ? "\"..." : "\"";
  for (size_t i = from; i < line.size() && i < from + WIDTH; ++i) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (c == '\n') r += "\\n";
    else if (c == '\r') r += "\\r";
    else if (c == '\t') r += "\\t";
    else if (c == '"' || c == '\\') (r += '\\') += char(c);
    else if (c < 0x20 || c == 0x7f) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      r += hex;
    } else r += char(c);
  }
  r += from + WIDTH < line.size() ? "...\"" : "\"";
  return r;
}

// Describes the first line where actual differs from expected; empty when they are equal. A line is
// shown with its line feed, so a missing final line feed shows too.
inline std::string first_difference(std::string_view expected, std::string_view actual) {
  size_t p = 0;
  while (p < expected.size() && p < actual.size() && expected[p] == actual[p]) ++p;
  if (p == expected.size() && p == actual.size()) return {};
  const size_t line_start = expected.substr(0, p).rfind('\n') == std::string_view::npos
                                ? 0 : expected.substr(0, p).rfind('\n') + 1;
  size_t line_number = 1;
  for (size_t i = 0; i < line_start; ++i) line_number += expected[i] == '\n';
  auto line_of = [&](std::string_view s) -> std::string {
    if (line_start >= s.size()) return "end of output";
    const size_t end = s.find('\n', line_start);
    return excerpt(s.substr(line_start, end == std::string_view::npos ? std::string_view::npos : end - line_start + 1),
                   p - line_start);
  };
  return "line " + std::to_string(line_number) + ": expected " + line_of(expected) + ", got " + line_of(actual);
}

inline std::string_view trim_line_ends(std::string_view s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Every way the outcome differs from the expectation, in one line; empty when the case passed.
inline std::string compare(const Expectation& expect, const Outcome& got) {
  std::string report;
  auto add = [&](const std::string& part) { report += (report.empty() ? "" : "; ") + part; };
  if (got.code != expect.code) {
    add(got.code == -1 ? "did not run to its end (not started, crashed or killed), expected exit status " +
                             std::to_string(expect.code)
                       : "exit status " + std::to_string(got.code) + ", expected " + std::to_string(expect.code));
    const std::string_view first_err = std::string_view(got.err).substr(0, got.err.find('\n'));
    if (!first_err.empty()) add("stderr " + excerpt(first_err, 0));
  }
  const std::string out_diff = first_difference(expect.out, got.out);
  if (!out_diff.empty()) add("stdout " + out_diff);
  if (expect.err) {
    const std::string wanted_text = crlf_to_lf(*expect.err);
    const std::string_view wanted = trim_line_ends(wanted_text);
    if (wanted.empty()) {
      if (!got.err.empty()) add("stderr is not empty, it begins " + excerpt(got.err.substr(0, got.err.find('\n')), 0));
    } else if (got.err.find(wanted) == std::string::npos)
      add("stderr lacks " + excerpt(wanted.substr(0, wanted.find('\n')), 0) +
          (got.err.empty() ? ", stderr is empty" : ", stderr begins " + excerpt(got.err.substr(0, got.err.find('\n')), 0)));
  }
  return report;
}

}  // namespace scripttest
