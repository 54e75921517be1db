#pragma once
// A JSON document written as it is built, for tessel-cli's --json: objects
// and arrays nested by the caller, strings escaped, bytes that are not
// UTF-8 (file names may hold any) written as U+FFFD.

#include <cstdint>
#include <string>

class TJsonWriter {
 public:
  // Members of an object: Key first, then the value or a nested Begin.
  TJsonWriter& Key(const std::string& name);
  TJsonWriter& BeginObject() { return Open('{'); }
  TJsonWriter& EndObject() { return Close('}'); }
  TJsonWriter& BeginArray() { return Open('['); }
  TJsonWriter& EndArray() { return Close(']'); }
  TJsonWriter& String(const std::string& text);
  TJsonWriter& Number(std::int64_t value);
  TJsonWriter& Bool(bool value);
  TJsonWriter& Null();

  const std::string& Text() const { return FText; }

 private:
  void Separate();
  TJsonWriter& Open(char bracket);
  TJsonWriter& Close(char bracket);

  std::string FText;
  bool FFirst = true;  // no member or element yet at this level
  bool FAfterKey = false;
};

// text as a JSON string, quotes included.
std::string JsonQuoted(const std::string& text);
