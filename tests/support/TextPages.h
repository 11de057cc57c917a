// Pages of known text, as a scanner would make them, for the text recognition tests and
// benchmarks: a text's words set in lines of Times-Roman as a PostScript document, one
// column, which Ghostscript renders at 300 dpi to the picture kinds scanners and fax
// servers write. And the measures of what recognition found of them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace vd::test {

struct TextPageLayout {
  double width = 612;  // points, before any turn
  double height = 792;
  double fontSize = 11;
  double leading = 13.5;
  double margin = 54;
  // Characters a line holds at most (Times-Roman's average width is about 0.45 em).
  std::size_t lineCharacters = 90;
  // The page turned clockwise this many quarter turns, as a sheet fed sideways.
  int quarterTurns = 0;
};

struct TextPages {
  std::string postScript;
  // Each page's words, in reading order.
  std::vector<std::vector<std::string>> pageWords;
};

// The whitespace-separated words of text.
inline std::vector<std::string> WordsOf(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text) {
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

// The runs of letters and digits of text: what a word is when recognition is measured
// (punctuation and quotes are read in too many equal ways to count).
inline std::vector<std::string> TokensOf(const std::string& text) {
  std::vector<std::string> tokens;
  std::string token;
  for (unsigned char c : text) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c >= 0x80) {
      token += static_cast<char>(c);
    } else if (!token.empty()) {
      tokens.push_back(token);
      token.clear();
    }
  }
  if (!token.empty()) tokens.push_back(token);
  return tokens;
}

// The share of source's tokens found in found, counted as a multiset.
inline double ShareFound(const std::vector<std::string>& source, const std::vector<std::string>& found) {
  if (source.empty()) return 1;
  std::map<std::string, int> left;
  for (const std::string& token : found) ++left[token];
  std::size_t hits = 0;
  for (const std::string& token : source) {
    if (left[token] > 0) {
      --left[token];
      ++hits;
    }
  }
  return static_cast<double>(hits) / static_cast<double>(source.size());
}

// The share of source's tokens found in found in the source's order: the longest common
// subsequence over the source's length.
inline double ShareInOrder(const std::vector<std::string>& source, const std::vector<std::string>& found) {
  if (source.empty()) return 1;
  std::vector<std::size_t> previous(found.size() + 1, 0), current(found.size() + 1, 0);
  for (const std::string& token : source) {
    for (std::size_t j = 1; j <= found.size(); ++j) {
      current[j] = token == found[j - 1] ? previous[j - 1] + 1 : std::max(previous[j], current[j - 1]);
    }
    std::swap(previous, current);
  }
  return static_cast<double>(previous[found.size()]) / static_cast<double>(source.size());
}

inline std::string PostScriptString(const std::string& text) {
  std::string literal = "(";
  for (char c : text) {
    if (c == '(' || c == ')' || c == '\\') literal += '\\';
    literal += c;
  }
  return literal + ")";
}

// Sets `pages` pages of words (from the first on, wrapping round when they run out) in
// layout.
inline TextPages SetTextPages(const std::vector<std::string>& words, int pages, const TextPageLayout& layout) {
  TextPages set;
  const bool sideways = layout.quarterTurns % 2 != 0;
  const double mediaWidth = sideways ? layout.height : layout.width;
  const double mediaHeight = sideways ? layout.width : layout.height;
  set.postScript = "%!PS\n<< /PageSize [" + std::to_string(mediaWidth) + " " + std::to_string(mediaHeight) +
                   "] >> setpagedevice\n";
  const int lines = static_cast<int>((layout.height - 2 * layout.margin) / layout.leading);
  std::size_t next = 0;
  for (int page = 0; page < pages && !words.empty(); ++page) {
    set.pageWords.emplace_back();
    set.postScript += "gsave\n";
    // The sheet turned clockwise on the glass: its text turns with it.
    switch (((layout.quarterTurns % 4) + 4) % 4) {
      case 1:
        set.postScript += "0 " + std::to_string(mediaHeight) + " translate -90 rotate\n";
        break;
      case 2:
        set.postScript += std::to_string(mediaWidth) + " " + std::to_string(mediaHeight) + " translate 180 rotate\n";
        break;
      case 3:
        set.postScript += std::to_string(mediaWidth) + " 0 translate 90 rotate\n";
        break;
      default:
        break;
    }
    set.postScript += "/Times-Roman findfont " + std::to_string(layout.fontSize) + " scalefont setfont\n";
    for (int line = 0; line < lines; ++line) {
      std::string text;
      while (true) {
        const std::string& word = words[next % words.size()];
        if (!text.empty() && text.size() + 1 + word.size() > layout.lineCharacters) break;
        if (!text.empty()) text += ' ';
        text += word;
        set.pageWords.back().push_back(word);
        ++next;
      }
      const double y = layout.height - layout.margin - layout.fontSize - line * layout.leading;
      set.postScript += std::to_string(layout.margin) + " " + std::to_string(y) + " moveto " +
                        PostScriptString(text) + " show\n";
    }
    set.postScript += "grestore showpage\n";
  }
  return set;
}

}  // namespace vd::test
