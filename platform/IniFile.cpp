#include "platform/IniFile.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "base/Format.h"
#include "platform/FileReplace.h"
#include "platform/Files.h"

namespace {
// One line of the file as it stands; its line end (CR, LF, CR LF or none) is kept so that
// untouched lines are written back byte for byte.
struct TIniLine {
  std::string Text;
  std::string End;
};

std::vector<TIniLine> SplitLines(const std::string& Content) {
  std::vector<TIniLine> lines;
  size_t start = 0;
  while (start < Content.size()) {
    const size_t end = std::min(Content.find_first_of("\r\n", start), Content.size());
    size_t next = end;
    if (next < Content.size()) next += Content.compare(next, 2, "\r\n") == 0 ? 2 : 1;
    lines.push_back({Content.substr(start, end - start), Content.substr(end, next - end)});
    start = next;
  }
  return lines;
}

std::string JoinLines(const std::vector<TIniLine>& Lines) {
  std::string content;
  for (const TIniLine& line : Lines) content += line.Text + line.End;
  return content;
}

// New lines end as the file's first line does; a file without line ends gets LF.
std::string LineEndOf(const std::vector<TIniLine>& Lines) {
  for (const TIniLine& line : Lines)
    if (!line.End.empty()) return line.End;
  return "\n";
}

// The first MaxLength characters of Text, never cutting one apart: a character is a UTF-8
// lead byte with the continuation bytes it announces, or any other byte on its own.
std::string CutToCharacters(const std::string& Text, size_t MaxLength) {
  size_t at = 0;
  for (size_t count = 0; count < MaxLength && at < Text.size(); ++count) {
    const auto lead = static_cast<unsigned char>(Text[at]);
    const size_t length = lead >= 0xF0 && lead <= 0xF7 ? 4 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xC0 && lead <= 0xDF ? 2 : 1;
    ++at;
    for (size_t i = 1; i < length && at < Text.size() && (static_cast<unsigned char>(Text[at]) & 0xC0) == 0x80; ++i) ++at;
  }
  return Text.substr(0, at);
}

bool IsBlank(char C) { return C == ' ' || C == '\t'; }

std::string Trim(const std::string& Text) {
  size_t first = 0;
  size_t last = Text.size();
  while (first < last && IsBlank(Text[first])) ++first;
  while (last > first && IsBlank(Text[last - 1])) --last;
  return Text.substr(first, last - first);
}

bool SameName(const std::string& A, const std::string& B) {
  auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c); };
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [&](char a, char b) { return lower(a) == lower(b); });
}

// The section named by a "[name]" line, or nothing for any other line.
std::optional<std::string> SectionName(const std::string& Line) {
  const std::string text = Trim(Line);
  if (text.empty() || text.front() != '[') return std::nullopt;
  const size_t close = text.find(']');
  if (close == std::string::npos) return std::nullopt;
  return Trim(text.substr(1, close - 1));
}

bool IsComment(const std::string& Text) { return !Text.empty() && (Text.front() == ';' || Text.front() == '#'); }

// The position of the '=' of a "key=value" line whose key is Key, or npos.
size_t KeyAssignment(const std::string& Line, const std::string& Key) {
  const size_t equals = Line.find('=');
  if (equals == std::string::npos) return std::string::npos;
  const std::string name = Trim(Line.substr(0, equals));
  return !IsComment(name) && SameName(name, Key) ? equals : std::string::npos;
}

// Where a section's lines lie: the heading line and one past the section's last line.
struct TSectionRange {
  size_t Heading;
  size_t End;
};

std::optional<TSectionRange> FindSection(const std::vector<TIniLine>& Lines, const std::string& Section) {
  for (size_t i = 0; i < Lines.size(); ++i) {
    const auto name = SectionName(Lines[i].Text);
    if (!name || !SameName(*name, Section)) continue;
    size_t end = i + 1;
    while (end < Lines.size() && !SectionName(Lines[end].Text)) ++end;
    return TSectionRange{i, end};
  }
  return std::nullopt;
}

std::optional<size_t> FindKey(const std::vector<TIniLine>& Lines, const TSectionRange& Range, const std::string& Key) {
  for (size_t i = Range.Heading + 1; i < Range.End; ++i)
    if (KeyAssignment(Lines[i].Text, Key) != std::string::npos) return i;
  return std::nullopt;
}

bool HasLineBreaks(const std::string& Text) { return Text.find_first_of("\r\n") != std::string::npos; }

// A name or value that would change the file's structure when written.
void CheckWritable(const std::string& FileName, const std::string& Section, const std::string& Key,
                   const std::string& Value) {
  const char* fault = nullptr;
  if (Trim(Section).empty() || HasLineBreaks(Section) || Section.find(']') != std::string::npos)
    fault = "section name";
  else if (Trim(Key).empty() || HasLineBreaks(Key) || Key.find('=') != std::string::npos ||
           IsComment(Trim(Key)) || Trim(Key).front() == '[')
    fault = "key name";
  else if (HasLineBreaks(Value))
    fault = "value (line breaks)";
  if (fault)
    throw EIniFileException(Format("Unable to write to %s", FileName.c_str()),
                            Format("invalid %s in [%s] %s", fault, Section.c_str(), Key.c_str()));
}

}  // namespace

TIniFile::TIniFile(std::string FileName) : FFileName(std::move(FileName)) {}

std::string TIniFile::ReadString(const std::string& Section, const std::string& Key, const std::string& Default) const {
  if (!FileExists(FFileName)) return Default;
  std::vector<TIniLine> lines;
  try {
    lines = SplitLines(ReadFileText(FFileName));
  } catch (const EFileError&) {
    return Default;  // an unreadable file reads like a missing one
  }
  const auto range = FindSection(lines, Trim(Section));
  if (!range) return Default;
  const auto keyLine = FindKey(lines, *range, Trim(Key));
  if (!keyLine) return Default;
  const std::string& text = lines[*keyLine].Text;
  const std::string value = Trim(text.substr(KeyAssignment(text, Trim(Key)) + 1));
  return CutToCharacters(value, MaxValueLength);
}

void TIniFile::WriteString(const std::string& Section, const std::string& Key, const std::string& Value) {
  CheckWritable(FFileName, Section, Key, Value);
  const std::string section = Trim(Section);
  const std::string key = Trim(Key);
  const auto failure = [this](const std::string& Reason) {
    return EIniFileException(Format("Unable to write to %s", FFileName.c_str()), Reason);
  };

  std::vector<TIniLine> lines;
  if (FileExists(FFileName)) {
    try {
      lines = SplitLines(ReadFileText(FFileName));
    } catch (const EFileError& E) {
      throw failure(E.Message());
    }
  }

  const std::string lineEnd = LineEndOf(lines);
  const auto newLine = [&lineEnd](std::string Text) { return TIniLine{std::move(Text), lineEnd}; };
  // A line that gains a successor needs a line end of its own.
  const auto terminate = [&](size_t Index) {
    if (Index < lines.size() && lines[Index].End.empty()) lines[Index].End = lineEnd;
  };

  const auto range = FindSection(lines, section);
  if (!range) {
    if (!lines.empty()) terminate(lines.size() - 1);
    lines.push_back(newLine("[" + section + "]"));
    lines.push_back(newLine(key + "=" + Value));
  } else if (const auto keyLine = FindKey(lines, *range, key)) {
    // Everything up to the '=' stays, so the key keeps its spelling in the file.
    std::string& text = lines[*keyLine].Text;
    text = text.substr(0, KeyAssignment(text, key) + 1) + Value;
  } else {
    // After the section's last non-blank line, so blank lines before the next section stay.
    size_t insertAt = range->End;
    while (insertAt > range->Heading + 1 && Trim(lines[insertAt - 1].Text).empty()) --insertAt;
    terminate(insertAt - 1);
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), newLine(key + "=" + Value));
  }

  if (!FLeftoversRemoved) {
    RemoveStaleReplacements(FFileName);
    FLeftoversRemoved = true;
  }
  try {
    ReplaceFileContent(FFileName, JoinLines(lines));
  } catch (const EFileError& E) {
    throw failure(E.Message());
  }
}
