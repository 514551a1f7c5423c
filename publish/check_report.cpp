#include "publish/check_report.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/texts.h"
#include "publish/json_text.h"
#include "publish/utf8.h"

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

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string ManifestRefusal() {
  return std::string("customers get \"") + texts::kManifestProblem + "\"";
}

std::string FileRefusal() {
  return std::string("customers who lack the file get \"") + texts::kUpdateProblem + "\"";
}

std::string Printed(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    char32_t c = 0;
    const std::size_t length = DecodeUtf8(text, &c);
    if (length == 0) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(text[0]));
      out += escaped;
      text.remove_prefix(1);
      continue;
    }
    if (IsControlCharacter(c)) {
      out += ControlEscape(c);
    } else {
      out.append(text.data(), length);
    }
    text.remove_prefix(length);
  }
  return out;
}

void PrintFindings(const CheckReport& report, std::ostream& err) {
  for (const Finding* finding : InLineOrder(report)) {
    err << Printed(finding->source);
    if (finding->line > 0) err << ":" << finding->line;
    err << ": " << SeverityWord(finding->severity) << ": " << Printed(finding->message) << " ["
        << Printed(finding->kind) << "]\n";
  }
}

void PrintReport(const CheckReport& report, std::ostream& out, std::ostream& err) {
  out << "Manifest: " << Printed(report.source) << "\n";
  for (const SignatureKeyView& key : report.signatureKeys) {
    out << "Key:      " << Printed(key.id) << " (" << Printed(key.from)
        << "): the signed list is checked, and every file against it\n";
  }
  if (report.releaseTimestamp) {
    out << "Signed:   timestamp " << *report.releaseTimestamp << ", with key "
        << Printed(report.signedBy)
        << ": build launchers with -DKESTRUNE_MINIMUM_RELEASE_TIMESTAMP="
        << *report.releaseTimestamp << " to take no release signed before this one\n";
  }
  out << "Title:    " << (report.title ? Printed(Quoted(*report.title)) : "(none)") << "\n";
  int number = 0;
  for (const EntryView& entry : report.entries) {
    ++number;
    out << "Entry " << number << " (line " << entry.line << "): " << Printed(Quoted(entry.name))
        << "\n";
    out << "  button:  " << Printed(Quoted(entry.caption)) << "\n";
    if (!entry.fetched) {
      out << (entry.name.empty() ? "  (no file: the name is blank)\n"
                                 : "  (never fetched: the launcher refuses this name)\n");
      continue;
    }
    out << "  fetches: " << Printed(entry.address) << "\n";
    out << "  writes:  " << Printed(entry.localPath) << "\n";
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
  if (!report.signatureKeys.empty()) {
    out << "  \"keys\": [";
    const char* separator = "";
    for (const SignatureKeyView& key : report.signatureKeys) {
      out << separator << "{\"id\": " << JsonString(key.id)
          << ", \"from\": " << JsonString(key.from) << "}";
      separator = ", ";
    }
    out << "],\n";
  }
  if (report.releaseTimestamp) {
    out << "  \"signed\": {\"timestamp\": " << *report.releaseTimestamp
        << ", \"key\": " << JsonString(report.signedBy) << "},\n";
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
