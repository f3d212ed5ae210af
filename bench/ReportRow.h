#pragma once
// One row of the table bench/run prints: a figure of ours beside the figure
// it is compared with, both measured in the same run of the same program.
// A row is one tab-separated line on standard output starting with "ROW":
//   ROW <figure> <ours> <compared with> <their figure> <ratio>
// The program's own lines stay as they are; bench/run collects the rows.

#include <cstdio>
#include <string>

namespace bench {

// Four significant digits, without an exponent for large values.
inline std::string FigureText(double Value) {
  char text[64];
  if (Value >= 10000 || Value <= -10000)
    std::snprintf(text, sizeof text, "%.0f", Value);
  else
    std::snprintf(text, sizeof text, "%.4g", Value);
  return text;
}

// Ratio is the bench's own (it says in Against which way round it is).
inline void ReportRow(const std::string& Figure, double Ours, const char* Unit, const std::string& Against,
                      double Reference, const char* ReferenceUnit, double Ratio) {
  std::printf("ROW\t%s\t%s %s\t%s\t%s %s\t%s\n", Figure.c_str(), FigureText(Ours).c_str(), Unit, Against.c_str(),
              FigureText(Reference).c_str(), ReferenceUnit, FigureText(Ratio).c_str());
  std::fflush(stdout);
}

}  // namespace bench
