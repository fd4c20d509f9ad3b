// Helpers for the command-line tool's tests: run the built `zel` with its
// output captured, write input files with the library's own functions, read
// the JSON that `zel info --json` prints and an RPC III file's header text.
#pragma once

#include "support/temp_dir.h"
#include "zel.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace cli_test {

using zel_test::TempDir;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
  std::vector<std::string> err_lines() const {
    std::vector<std::string> lines;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

inline std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::string quote(const std::string &arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs zel with args in directory cwd (the temporary directory by default).
inline Outcome run_zel(const TempDir &dir, const std::vector<std::string> &args,
                   const std::string &cwd = "") {
  const std::string out = dir.file(".stdout"), err = dir.file(".stderr");
  std::string command = "cd " + quote(cwd.empty() ? dir.path().string() : cwd) + " && " + quote(ZEL_CLI);
  for (const std::string &arg : args) command += " " + quote(arg);
  command += " >" + quote(out) + " 2>" + quote(err) + " </dev/null";
  Outcome run;
  const int raw = std::system(command.c_str());
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = slurp(out);
  run.err = slurp(err);
  return run;
}

// Writes an RPC III file through the library (floats when floats is set).
inline void write_rpc(const std::string &path, const std::vector<std::vector<double>> &channels,
                      double dt, bool floats = false,
                      const std::vector<std::pair<std::string, std::string>> &names = {}) {
  const char *variable = "QEN_KZEL_RPC_FLOAT";
  if (floats)
    setenv(variable, "1", 1);
  else
    unsetenv(variable);
  int status = -1;
  void *handle = zel_rpc_create(path.c_str(), static_cast<int>(channels.size()),
                                static_cast<int>(channels[0].size()), dt, &status);
  unsetenv(variable);
  ASSERT_NE(handle, nullptr);
  ASSERT_EQ(status, 0);
  for (size_t c = 0; c < channels.size(); ++c) {
    const std::string description = c < names.size() ? names[c].first : "Channel " + std::to_string(c + 1);
    const std::string unit = c < names.size() ? names[c].second : "N";
    ASSERT_EQ(zel_rpc_putchannel(handle, static_cast<int>(c + 1), static_cast<int>(channels[c].size()),
                                 channels[c].data(), description.c_str(), unit.c_str()),
              0);
  }
  ASSERT_EQ(zel_rpc_writeclose(handle), 0);
}

inline std::vector<double> rpc_channel(const std::string &path, int channel, double *dt = nullptr) {
  int points = 0;
  double interval = 0.0;
  EXPECT_EQ(zel_rpc_data(path.c_str(), channel, &points, &interval, nullptr), 0) << path;
  std::vector<double> values(static_cast<size_t>(points));
  EXPECT_EQ(zel_rpc_data(path.c_str(), channel, &points, &interval, values.data()), 0) << path;
  if (dt) *dt = interval;
  return values;
}

inline void write_dac(const std::string &path, const std::vector<double> &values, double rate,
                      double start, const std::string &label, const std::string &unit) {
  ASSERT_EQ(zel_dac_write(path.c_str(), static_cast<int>(values.size()), start, rate, values.data(),
                          "s", label.c_str(), unit.c_str()),
            0);
}

inline std::vector<double> dac_samples(const std::string &path, double *rate = nullptr,
                                       double *start = nullptr) {
  int npts = 0;
  double s = 0.0, r = 0.0;
  zel_dac_data(path.c_str(), &npts, &s, &r, nullptr);
  std::vector<double> values(static_cast<size_t>(npts));
  EXPECT_EQ(zel_dac_data(path.c_str(), &npts, &s, &r, values.data()), 0) << path;
  if (rate) *rate = r;
  if (start) *start = s;
  return values;
}

// The parameter records (keyword -> value) of an RPC III file's header.
inline std::map<std::string, std::string> rpc_header(const std::string &path) {
  const std::string bytes = slurp(path);
  std::map<std::string, std::string> records;
  auto text = [](const std::string &field) {
    std::string t = field.substr(0, field.find('\0'));
    while (!t.empty() && t.back() == ' ') t.pop_back();
    return t;
  };
  int count = 3; // NUM_PARAMS is record 2
  for (int r = 0; r < count && static_cast<size_t>(r + 1) * 128 <= bytes.size(); ++r) {
    const std::string record = bytes.substr(static_cast<size_t>(r) * 128, 128);
    const std::string key = text(record.substr(0, 32));
    records[key] = text(record.substr(32, 96));
    if (key == "NUM_PARAMS") count = std::atoi(records[key].c_str());
  }
  return records;
}

// A small JSON reader, enough for what `zel info --json` prints.
struct Json {
  enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
  double number = 0.0;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> fields;

  const Json &operator[](const std::string &key) const {
    static const Json none;
    auto it = fields.find(key);
    return it == fields.end() ? none : it->second;
  }
  const Json &operator[](size_t i) const { return items.at(i); }

  static Json parse(const std::string &source) {
    size_t at = 0;
    Json value = parse_value(source, at);
    skip(source, at);
    if (at != source.size()) throw std::runtime_error("trailing text after JSON");
    return value;
  }

private:
  static void skip(const std::string &s, size_t &at) {
    while (at < s.size() && std::isspace(static_cast<unsigned char>(s[at]))) ++at;
  }
  static void expect(const std::string &s, size_t &at, char c) {
    skip(s, at);
    if (at >= s.size() || s[at] != c) throw std::runtime_error(std::string("JSON: expected ") + c);
    ++at;
  }
  static std::string parse_string(const std::string &s, size_t &at) {
    expect(s, at, '"');
    std::string out;
    while (at < s.size() && s[at] != '"') {
      if (s[at] == '\\') {
        ++at;
        const char e = s.at(at);
        if (e == 'u') {
          out += static_cast<char>(std::stoi(s.substr(at + 1, 4), nullptr, 16));
          at += 4;
        } else {
          out += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
        }
        ++at;
      } else {
        out += s[at++];
      }
    }
    expect(s, at, '"');
    return out;
  }
  static Json parse_value(const std::string &s, size_t &at) {
    skip(s, at);
    Json v;
    if (at >= s.size()) throw std::runtime_error("JSON: unexpected end");
    const char c = s[at];
    if (c == '{') {
      v.kind = Object;
      ++at;
      skip(s, at);
      if (s.at(at) == '}') return ++at, v;
      for (;;) {
        const std::string key = parse_string(s, at);
        expect(s, at, ':');
        v.fields[key] = parse_value(s, at);
        skip(s, at);
        if (s.at(at) == ',') { ++at; continue; }
        expect(s, at, '}');
        return v;
      }
    }
    if (c == '[') {
      v.kind = Array;
      ++at;
      skip(s, at);
      if (s.at(at) == ']') return ++at, v;
      for (;;) {
        v.items.push_back(parse_value(s, at));
        skip(s, at);
        if (s.at(at) == ',') { ++at; continue; }
        expect(s, at, ']');
        return v;
      }
    }
    if (c == '"') {
      v.kind = String;
      v.text = parse_string(s, at);
      return v;
    }
    for (const char *word : {"null", "true", "false"}) {
      if (s.compare(at, std::strlen(word), word) == 0) {
        at += std::strlen(word);
        v.kind = word[0] == 'n' ? Null : Bool;
        v.number = word[0] == 't';
        return v;
      }
    }
    size_t used = 0;
    v.kind = Number;
    v.number = std::stod(s.substr(at, 40), &used);
    at += used;
    return v;
  }
};

// Minimum, maximum with their first 1-based indices, mean and RMS, the
// plain way.
struct Reference {
  double min, max, mean, rms;
  int64_t min_index, max_index;
};
inline Reference reference_stats(const std::vector<double> &v) {
  Reference r{v[0], v[0], 0.0, 0.0, 1, 1};
  double sum = 0.0, squares = 0.0;
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] < r.min) r.min = v[i], r.min_index = static_cast<int64_t>(i) + 1;
    if (v[i] > r.max) r.max = v[i], r.max_index = static_cast<int64_t>(i) + 1;
    sum += v[i];
    squares += v[i] * v[i];
  }
  r.mean = sum / static_cast<double>(v.size());
  r.rms = std::sqrt(squares / static_cast<double>(v.size()));
  return r;
}

} // namespace cli_test
