#pragma once

#include <sstream>
#include <string>
#include <vector>

// Recorded canvas calls taken apart, for checks on positions: the call's
// name, its rectangle (y-up points) and the whole line.
namespace tamsel::testing {

struct RecordedCall {
  std::string name;
  double x = 0, y = 0, width = 0, height = 0;
  std::string line;

  // The rectangle's top edge, as an offset below the top of a page
  // `pageHeight` tall whose origin is at 0.
  double top(double pageHeight) const { return pageHeight - y - height; }
};

inline std::vector<RecordedCall> parseCalls(const std::vector<std::string>& lines) {
  std::vector<RecordedCall> calls;
  for (const std::string& line : lines) {
    RecordedCall call;
    std::istringstream in(line);
    in >> call.name >> call.x >> call.y >> call.width >> call.height;
    call.line = line;
    calls.push_back(call);
  }
  return calls;
}

// The calls named `name`, in order.
inline std::vector<RecordedCall> callsNamed(const std::vector<std::string>& lines,
                                            const std::string& name) {
  std::vector<RecordedCall> found;
  for (const RecordedCall& call : parseCalls(lines)) {
    if (call.name == name) found.push_back(call);
  }
  return found;
}

}  // namespace tamsel::testing
