// A small writer of JSON text for --json output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kx::cli {

// Builds JSON text in order: Begin/End objects and arrays, Key before each
// value inside an object. Commas are placed by the writer.
class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  JsonWriter& Key(const std::string& key);
  JsonWriter& String(const std::string& value);
  JsonWriter& Number(std::int64_t value);
  JsonWriter& Number(double value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();

  const std::string& text() const { return text_; }

 private:
  void BeforeValue();
  std::string text_;
  std::vector<bool> first_;  // per open container: no element written yet
  bool afterKey_ = false;
};

// `text` as a JSON string literal; bytes that are not valid UTF-8 become U+FFFD.
std::string JsonQuote(const std::string& text);

}  // namespace kx::cli
