#include "publish/check_report.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "publish/json_text.h"

namespace kestrune::publish {

namespace {

const char* SeverityWord(Severity severity) {
  return severity == Severity::kError ? "error" : "warning";
}

// The manifest's own findings first, by line, then those about other
// files; findings of one line keep the order they were found in.
std::vector<const Finding*> InLineOrder(const CheckReport& report) {
  std::vector<const Finding*> ordered;
  for (const Finding& finding : report.findings) ordered.push_back(&finding);
  std::stable_sort(ordered.begin(), ordered.end(), [&](const Finding* a, const Finding* b) {
    const bool aElsewhere = a->source != report.source;
    const bool bElsewhere = b->source != report.source;
    if (aElsewhere != bElsewhere) return bElsewhere;
    if (a->source != b->source) return a->source < b->source;
    return a->line < b->line;
  });
  return ordered;
}

std::string Plural(int count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

void CheckReport::Add(Severity severity, std::string kind, int line, std::string message) {
  AddAt(severity, std::move(kind), source, line, std::move(message));
}

void CheckReport::AddAt(Severity severity, std::string kind, std::string where, int line,
                        std::string message) {
  findings.push_back({severity, std::move(kind), std::move(where), line, std::move(message)});
}

int CheckReport::Count(Severity severity) const {
  return static_cast<int>(std::count_if(findings.begin(), findings.end(),
                                        [&](const Finding& f) { return f.severity == severity; }));
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

void PrintFindings(const CheckReport& report, std::ostream& err) {
  for (const Finding* finding : InLineOrder(report)) {
    err << finding->source;
    if (finding->line > 0) err << ":" << finding->line;
    err << ": " << SeverityWord(finding->severity) << ": " << finding->message << " ["
        << finding->kind << "]\n";
  }
}

void PrintReport(const CheckReport& report, std::ostream& out, std::ostream& err) {
  out << "Manifest: " << report.source << "\n";
  if (report.signatureKey) {
    out << "Key:      " << report.signatureKey->id << " (" << report.signatureKey->from
        << "): every signature is checked\n";
  }
  out << "Title:    " << (report.title ? Quoted(*report.title) : "(none)") << "\n";
  int number = 0;
  for (const EntryView& entry : report.entries) {
    ++number;
    out << "Entry " << number << " (line " << entry.line << "): " << Quoted(entry.name) << "\n";
    out << "  button:  " << Quoted(entry.caption) << "\n";
    if (!entry.fetched) {
      out << (entry.name.empty() ? "  (no file: the name is blank)\n"
                                 : "  (never fetched: the launcher refuses this name)\n");
      continue;
    }
    out << "  fetches: " << entry.address << "\n";
    out << "  writes:  " << entry.localPath << "\n";
    if (entry.status) {
      out << "  server:  status " << *entry.status;
      if (entry.bodyBytes) out << ", " << *entry.bodyBytes << " bytes";
      out << "\n";
    }
  }
  PrintFindings(report, err);
  const int errors = report.Count(Severity::kError);
  const int warnings = report.Count(Severity::kWarning);
  out << Plural(static_cast<int>(report.entries.size()), "entry", "entries") << "; ";
  if (errors == 0 && warnings == 0) {
    out << "no problems found.\n";
  } else {
    out << Plural(errors, "problem", "problems") << ", " << Plural(warnings, "warning", "warnings")
        << ".\n";
  }
}

void PrintReportJson(const CheckReport& report, std::ostream& out) {
  out << "{\n  \"source\": " << JsonString(report.source) << ",\n";
  out << "  \"passed\": " << (report.Passed() ? "true" : "false") << ",\n";
  if (report.signatureKey) {
    out << "  \"key\": {\"id\": " << JsonString(report.signatureKey->id)
        << ", \"from\": " << JsonString(report.signatureKey->from) << "},\n";
  }
  out << "  \"title\": " << (report.title ? JsonString(*report.title) : "null") << ",\n";
  out << "  \"entries\": [";
  const char* separator = "\n";
  for (const EntryView& entry : report.entries) {
    out << separator << "    {\"line\": " << entry.line << ", \"name\": " << JsonString(entry.name)
        << ", \"caption\": " << JsonString(entry.caption)
        << ", \"fetched\": " << (entry.fetched ? "true" : "false");
    if (entry.fetched) {
      out << ", \"address\": " << JsonString(entry.address)
          << ", \"localPath\": " << JsonString(entry.localPath);
    }
    if (entry.status) out << ", \"status\": " << *entry.status;
    if (entry.bodyBytes) out << ", \"bodyBytes\": " << *entry.bodyBytes;
    out << "}";
    separator = ",\n";
  }
  out << (report.entries.empty() ? "],\n" : "\n  ],\n");
  out << "  \"problems\": [";
  separator = "\n";
  for (const Finding* finding : InLineOrder(report)) {
    out << separator << "    {\"severity\": \"" << SeverityWord(finding->severity)
        << "\", \"kind\": " << JsonString(finding->kind)
        << ", \"file\": " << JsonString(finding->source) << ", \"line\": " << finding->line
        << ", \"message\": " << JsonString(finding->message) << "}";
    separator = ",\n";
  }
  out << (report.findings.empty() ? "]\n" : "\n  ]\n") << "}\n";
}

}  // namespace kestrune::publish
