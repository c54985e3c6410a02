#include "svg.h"

#include <algorithm>
#include <cstdio>

#include "report.h"

namespace qvlockstat {

namespace {

constexpr int kWidth = 960;
constexpr int kNameWidth = 280;
constexpr int kBarSpace = 540;
constexpr int kBarHeight = 14;
constexpr int kRowHeight = 2 * kBarHeight + 12;
constexpr int kTitleHeight = 40;

// Length of the valid UTF-8 sequence at `at`, 0 when it is not one.
size_t Utf8Sequence(const std::string& s, size_t at) {
  unsigned char c = static_cast<unsigned char>(s[at]);
  size_t length = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 && c >= 0xC2 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 && c <= 0xF4 ? 4 : 0;
  if (length == 0 || at + length > s.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(s[at + i]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

std::string Format(const char* format, double a, double b, double c, double d) {
  char text[160];
  std::snprintf(text, sizeof text, format, a, b, c, d);
  return text;
}

}  // namespace

std::string XmlText(const std::string& text) {
  std::string out;
  for (size_t at = 0; at < text.size();) {
    size_t length = Utf8Sequence(text, at);
    if (length == 0) {
      out += "?";
      ++at;
      continue;
    }
    char c = text[at];
    if (length > 1) out.append(text, at, length);
    else if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '"') out += "&quot;";
    else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) out += ' ';
    else out += c;
    at += length;
  }
  return out;
}

std::string RenderSvg(const std::vector<Chart>& charts) {
  int height = 50;
  for (const Chart& chart : charts) height += kTitleHeight + kRowHeight * static_cast<int>(chart.rows.size()) + 10;
  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += Format("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" "
                "font-family=\"sans-serif\" font-size=\"12\">\n",
                kWidth, height, kWidth, height);
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  svg += "<rect x=\"10\" y=\"12\" width=\"12\" height=\"12\" fill=\"#d9534f\"/><text x=\"28\" y=\"22\">total wait</text>\n";
  svg += "<rect x=\"110\" y=\"12\" width=\"12\" height=\"12\" fill=\"#4a7fc1\"/><text x=\"128\" y=\"22\">total held</text>\n";
  int y = 50;
  for (const Chart& chart : charts) {
    svg += "<g class=\"dump\">\n";
    svg += Format("<text x=\"10\" y=\"%.0f\" font-size=\"14\" font-weight=\"bold\">", 0, y + 20, 0, 0).substr(0);
    svg += XmlText(chart.dump->label + " - " + chart.dump->stamp) + "</text>\n";
    y += kTitleHeight;
    int64_t largest = 1;
    for (const MutexStats& m : chart.rows) largest = std::max({largest, m.totalWait, m.totalHeld});
    for (const MutexStats& m : chart.rows) {
      std::string name = XmlText(OneLine(m.name) + (m.destroyed ? " (destroyed)" : ""));
      svg += "<g class=\"mutex\">\n<title>" + name + "</title>\n";
      svg += Format("<text x=\"%.0f\" y=\"%.0f\" text-anchor=\"end\">", kNameWidth - 8, y + kBarHeight + 4, 0, 0) + name +
             "</text>\n";
      struct Bar {
        const char* kind;
        const char* colour;
        int64_t value;
      } bars[] = {{"wait", "#d9534f", m.totalWait}, {"held", "#4a7fc1", m.totalHeld}};
      int barY = y;
      for (const Bar& bar : bars) {
        double width = static_cast<double>(kBarSpace) * static_cast<double>(bar.value) / static_cast<double>(largest);
        svg += "<rect class=\"" + std::string(bar.kind) + "\" fill=\"" + bar.colour + "\"" +
               Format(" x=\"%.0f\" y=\"%.0f\" width=\"%.1f\" height=\"%.0f\"/>", kNameWidth, barY, width, kBarHeight) + "\n";
        svg += Format("<text x=\"%.1f\" y=\"%.0f\">", kNameWidth + width + 4, barY + kBarHeight - 3, 0, 0) +
               ReadableTime(bar.value, chart.dump->ticksPerSecond) + "</text>\n";
        barY += kBarHeight + 2;
      }
      svg += "</g>\n";
      y += kRowHeight;
    }
    svg += "</g>\n";
    y += 10;
  }
  svg += "</svg>\n";
  return svg;
}

}  // namespace qvlockstat
