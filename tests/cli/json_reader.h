// A small strict JSON reader for tests that check what tvbox-burn prints for
// scripts: objects, arrays, strings (with \uXXXX below 0x100), numbers, true,
// false and null. Anything else, or text after the value, fails the parse.
#pragma once

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace clitest {

struct Json {
  enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> members;

  const Json& operator[](const std::string& key) const {
    static const Json missing;
    auto it = members.find(key);
    return it == members.end() ? missing : it->second;
  }
};

class JsonReader {
 public:
  explicit JsonReader(const std::string& text) : s_(text) {}

  bool parse(Json* out) {
    if (!value(out)) return false;
    skip_space();
    return i_ == s_.size();
  }

 private:
  void skip_space() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t')) ++i_;
  }
  bool literal(const char* word) {
    size_t n = std::char_traits<char>::length(word);
    if (s_.compare(i_, n, word) != 0) return false;
    i_ += n;
    return true;
  }
  bool string(std::string* out) {
    if (s_[i_] != '"') return false;
    for (++i_; i_ < s_.size(); ++i_) {
      char c = s_[i_];
      if (c == '"') {
        ++i_;
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        *out += c;
        continue;
      }
      if (++i_ >= s_.size()) return false;
      switch (s_[i_]) {
        case '"': *out += '"'; break;
        case '\\': *out += '\\'; break;
        case '/': *out += '/'; break;
        case 'n': *out += '\n'; break;
        case 'r': *out += '\r'; break;
        case 't': *out += '\t'; break;
        case 'u': {
          if (i_ + 4 >= s_.size()) return false;
          long code = std::strtol(s_.substr(i_ + 1, 4).c_str(), nullptr, 16);
          if (code > 0xFF) return false;
          *out += char(code);
          i_ += 4;
          break;
        }
        default: return false;
      }
    }
    return false;
  }
  bool value(Json* out) {
    skip_space();
    if (i_ >= s_.size()) return false;
    char c = s_[i_];
    if (c == '{') {
      out->kind = Json::Kind::Object;
      ++i_;
      skip_space();
      if (i_ < s_.size() && s_[i_] == '}') return ++i_, true;
      for (;;) {
        skip_space();
        std::string key;
        if (i_ >= s_.size() || !string(&key)) return false;
        skip_space();
        if (i_ >= s_.size() || s_[i_++] != ':') return false;
        if (!value(&out->members[key])) return false;
        skip_space();
        if (i_ >= s_.size()) return false;
        if (s_[i_] == '}') return ++i_, true;
        if (s_[i_++] != ',') return false;
      }
    }
    if (c == '[') {
      out->kind = Json::Kind::Array;
      ++i_;
      skip_space();
      if (i_ < s_.size() && s_[i_] == ']') return ++i_, true;
      for (;;) {
        out->items.emplace_back();
        if (!value(&out->items.back())) return false;
        skip_space();
        if (i_ >= s_.size()) return false;
        if (s_[i_] == ']') return ++i_, true;
        if (s_[i_++] != ',') return false;
      }
    }
    if (c == '"') {
      out->kind = Json::Kind::String;
      return string(&out->text);
    }
    if (literal("true")) return out->kind = Json::Kind::Bool, out->boolean = true, true;
    if (literal("false")) return out->kind = Json::Kind::Bool, true;
    if (literal("null")) return true;
    char* end = nullptr;
    out->number = std::strtod(s_.c_str() + i_, &end);
    if (end == s_.c_str() + i_) return false;
    out->kind = Json::Kind::Number;
    i_ = size_t(end - s_.c_str());
    return true;
  }

  const std::string& s_;
  size_t i_ = 0;
};

}  // namespace clitest
