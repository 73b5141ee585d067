// Captures the log lines that the code under test writes, for tests that prove a
// behaviour through its report. The logger lives as long as the capture.
#pragma once

#include "TK/tk_log.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <string>
#include <vector>

class udb_log_capture {
public:
  udb_log_capture() : logger_(dir_.file("udb.log").c_str(), true, 1, false) {}

  // Every line written so far, without line ends (UTF-8).
  std::vector<std::string> lines() const
  {
    std::vector<std::string> out;
    const std::string text = read_file(dir_.file("udb.log"));
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
      out.push_back(text.substr(start, end - start));
    return out;
  }
  bool has(const std::string& line) const
  {
    const auto all = lines();
    return std::find(all.begin(), all.end(), line) != all.end();
  }

private:
  temp_dir dir_;
  tk_logger logger_;
};
