#include "commands.h"

#include <qvcore5/qvcore.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "reg_reader.h"
#include "reg_writer.h"
#include "registry.h"
#include "text.h"
#include "value_format.h"

namespace qvreg {

namespace {

int Fail(const std::string& what, QVRESULT result) {
  std::fprintf(stderr, "qvreg: %s: %s\n", what.c_str(), DescribeResult(result).c_str());
  return result == QV_E_NOTFOUND ? kNotFound : kFailed;
}

int Usage(const std::string& what) {
  std::fprintf(stderr, "qvreg: %s: %s\n", what.c_str(), DescribeResult(QV_E_INVALIDARG).c_str());
  PrintUsage(stderr);
  return kUsage;
}

bool KeyOperand(const std::string& text, Key& key) {
  std::u16string wide;
  return FromUtf8(text, wide) && ParseKey(wide, key);
}

std::string Shown(const std::u16string& name) { return name.empty() ? "(default)" : ToUtf8(name); }

void PrintKey(const Key& key, const std::vector<Value>& values) {
  std::printf("%s\n", ToUtf8(KeyText(key)).c_str());
  size_t width = 0;
  for (const Value& value : values) width = std::max(width, Shown(value.name).size());
  for (const Value& value : values) {
    std::string name = Shown(value.name);
    std::printf("    %s%*s  %-13s  %s\n", name.c_str(), static_cast<int>(width - name.size()), "",
                TypeName(value.type).c_str(), FormatData(value).c_str());
  }
}

int QueryTree(const Key& key, bool recursive) {
  std::vector<Value> values;
  std::vector<std::u16string> subkeys;
  QVRESULT result = ReadValues(key, values);
  if (result >= 0) result = ReadSubkeys(key, subkeys);
  if (result < 0) return Fail(ToUtf8(KeyText(key)), result);
  PrintKey(key, values);
  std::printf("\n");
  for (const std::u16string& name : subkeys) {
    if (recursive) {
      int status = QueryTree(Child(key, name), true);
      if (status != kDone) return status;
    } else {
      std::printf("%s\n", ToUtf8(KeyText(Child(key, name))).c_str());
    }
  }
  return kDone;
}

int Query(const Command& command, const Key& key) {
  if (!command.valueName) return QueryTree(key, command.recursive);
  std::u16string name;
  if (!FromUtf8(*command.valueName, name)) return Usage("--value is not UTF-8 text");
  uint32_t size = 0;
  QVRESULT result = QVRegistryGetValue(key.root, Api(key.path), Api(name), nullptr, nullptr, &size);
  if (result < 0) return Fail(ToUtf8(KeyText(key)) + " value " + Shown(name), result);
  std::vector<Value> values;
  result = ReadValues(key, values);
  if (result < 0) return Fail(ToUtf8(KeyText(key)), result);
  values.erase(std::remove_if(values.begin(), values.end(),
                              [&](const Value& v) { return QVStrICmpUCS2(Api(v.name), Api(name)) != 0; }),
               values.end());
  PrintKey(key, values);
  return kDone;
}

int Set(const Command& command, const Key& key) {
  std::optional<uint32_t> type = TypeFromWord(*command.type);
  if (!type) return Usage("unknown --type '" + *command.type + "'");
  std::vector<uint8_t> data;
  std::string error;
  if (!DataFromText(*type, command.data, data, error)) return Usage(error);
  std::u16string name;
  if (!FromUtf8(*command.valueName, name)) return Usage("--value is not UTF-8 text");
  QVRESULT result = QVRegistrySetValue(key.root, Api(key.path), Api(name), *type, data.data(),
                                       static_cast<uint32_t>(data.size()));
  return result < 0 ? Fail("set " + ToUtf8(KeyText(key)) + " value " + Shown(name), result) : kDone;
}

int Delete(const Command& command, const Key& key) {
  std::string shown = ToUtf8(KeyText(key));
  if (command.valueName) {
    std::u16string name;
    if (!FromUtf8(*command.valueName, name)) return Usage("--value is not UTF-8 text");
    QVRESULT result = QVRegistryDeleteValue(key.root, Api(key.path), Api(name));
    return result < 0 ? Fail("delete " + shown + " value " + Shown(name), result) : kDone;
  }
  // The library reports a missing key as a plain failure; asking first tells "not found" apart.
  QVRESULT result = key.path.empty() ? 0 : KeyExists(key);
  if (result >= 0) result = QVRegistryDeleteKey(key.root, Api(key.path));
  return result < 0 ? Fail("delete " + shown, result) : kDone;
}

int Export(const Command& command, const Key& key) {
  std::u16string text;
  QVRESULT result = RegExportText(key, text);
  if (result < 0) return Fail("export " + ToUtf8(KeyText(key)), result);
  std::string bytes = RegFileBytes(text);
  std::ofstream out(command.operands[1], std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) return Fail("cannot write " + command.operands[1], QV_E_FAIL);
  return kDone;
}

QVRESULT Apply(const RegChange& change) {
  const Key& key = change.key;
  switch (change.kind) {
    case RegChange::kDeleteKey:
      return KeyExists(key) == QV_E_NOTFOUND ? 0 : QVRegistryDeleteKey(key.root, Api(key.path));
    case RegChange::kDeleteValue: {
      QVRESULT result = QVRegistryDeleteValue(key.root, Api(key.path), Api(change.value.name));
      return result == QV_E_NOTFOUND ? 0 : result;
    }
    case RegChange::kSetValue:
      return QVRegistrySetValue(key.root, Api(key.path), Api(change.value.name), change.value.type,
                                change.value.data.data(), static_cast<uint32_t>(change.value.data.size()));
  }
  return QV_E_FAIL;
}

int Import(const Command& command) {
  const std::string& file = command.operands[0];
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return Fail("cannot read " + file, QV_E_NOTFOUND);
  std::ifstream in(file, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) return Fail("cannot read " + file, QV_E_FAIL);
  std::vector<RegChange> changes;
  std::string error;
  if (!ParseRegFile(bytes, changes, error)) return Fail(file + ": " + error + "; nothing imported", QV_RESULT(0x8007000Du));
  size_t set = 0, removed = 0;
  for (const RegChange& change : changes) {
    QVRESULT result = Apply(change);
    if (result < 0)
      return Fail(file + ": line " + std::to_string(change.line) + " (the lines before it were imported)", result);
    (change.kind == RegChange::kSetValue ? set : removed)++;
  }
  std::printf("%s: %zu value%s set, %zu deletion%s\n", file.c_str(), set, set == 1 ? "" : "s", removed,
              removed == 1 ? "" : "s");
  return kDone;
}

int Migrate(const Command& command) {
  std::error_code ec;
  std::string ini = (std::filesystem::current_path(ec) / "qvregistry.ini").string();
  bool toIni = command.to == "ini";
  bool hadFile = std::filesystem::exists(ini, ec);
  if (!toIni && !hadFile) {
    std::printf("no %s: nothing to copy\n", ini.c_str());
    return kDone;
  }
  QVRESULT result = toIni ? QVRegistryMigrate(QV_REGISTRY_NATIVE, 0, QV_REGISTRY_INI)
                          : QVRegistryMigrate(QV_REGISTRY_INI, 0, QV_REGISTRY_NATIVE);
  bool hasFile = std::filesystem::exists(ini, ec);
  if (toIni) {
    std::printf("copied the string values of HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER into %s\n",
                ini.c_str());
  } else {
    std::printf("copied %s into the registry; the file %s\n", ini.c_str(),
                hasFile ? "stays (it holds what was not carried over)" : "was deleted");
  }
  if (result == QV_E_NOTIMPL && toIni)
    return Fail("migrate --to ini: values that are not strings do not fit into the INI file and were left out", result);
  if (result < 0) return Fail(std::string("migrate --to ") + *command.to + " (what was copied stays)", result);
  return kDone;
}

}  // namespace

int RunCommand(const Command& command) {
  if (command.verb == "import") return Import(command);
  if (command.verb == "migrate") return Migrate(command);
  Key key;
  if (!KeyOperand(command.operands[0], key)) return Usage("unknown root in '" + command.operands[0] + "'");
  if (command.verb == "query") return Query(command, key);
  if (command.verb == "set") return Set(command, key);
  if (command.verb == "delete") return Delete(command, key);
  return Export(command, key);
}

}  // namespace qvreg
