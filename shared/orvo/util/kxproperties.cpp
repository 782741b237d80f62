#include "orvo/util/kxproperties.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <istream>
#include <ostream>
#include <sstream>

#include "orvo/debug/kxassert.h"
#include "orvo/debug/kxtrace.h"
#include "orvo/util/kxstringparser.h"
#include "orvo/util/kxtexthelpers.h"

struct kxProperties::Entries {
  using ValueMap = std::map<std::string, std::string>;
  ValueMap itsValues;
  std::vector<ValueMap::iterator> itsOrder;
  std::string itsName;
};

namespace {

const std::string& emptyText() {
  static const std::string kEmpty;
  return kEmpty;
}

bool isNameChar(int inChar) {
  return (inChar >= 'a' && inChar <= 'z') || (inChar >= 'A' && inChar <= 'Z') || (inChar >= '0' && inChar <= '9') ||
         inChar == '_' || inChar == ':' || inChar == '.' || inChar == '-';
}

struct Entity {
  char character;
  const char* text;
};
constexpr Entity kEntities[] = {
    {'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'"', "&quot;"}, {'\'', "&apos;"},
};
// Values are always quoted with '"', so an apostrophe in a value is written as it is.
constexpr size_t kValueEntities = 4;

// The stand-in for an empty name or key, which XML cannot hold: a character reference
// without digits.
constexpr const char* kEmptyName = "&#x;";

void writeValue(std::ostream& outStream, const std::string& inText) {
  size_t plain = 0;
  for (size_t i = 0; i < inText.size(); ++i)
    for (size_t e = 0; e < kValueEntities; ++e)
      if (inText[i] == kEntities[e].character) {
        outStream.write(inText.data() + plain, static_cast<std::streamsize>(i - plain));
        outStream << kEntities[e].text;
        plain = i + 1;
        break;
      }
  outStream.write(inText.data() + plain, static_cast<std::streamsize>(inText.size() - plain));
}

// A name or key: its name characters as they are, every other byte as "&#xHH;", and the
// empty name as kEmptyName, so that readName gives back every name.
void writeName(std::ostream& outStream, const std::string& inName) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  if (inName.empty()) {
    outStream << kEmptyName;
    return;
  }
  for (const char c : inName) {
    if (isNameChar(static_cast<unsigned char>(c))) {
      outStream << c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      outStream << "&#x" << kHex[byte >> 4] << kHex[byte & 15] << ';';
    }
  }
}

// Replaces the five predefined entities; every other "&" stays as it is.
std::string decodeEntities(const std::string& inText) {
  if (inText.find('&') == std::string::npos) return inText;
  std::string text;
  text.reserve(inText.size());
  for (size_t i = 0; i < inText.size();) {
    bool decoded = false;
    if (inText[i] == '&')
      for (const Entity& entity : kEntities)
        if (inText.compare(i, std::char_traits<char>::length(entity.text), entity.text) == 0) {
          text += entity.character;
          i += std::char_traits<char>::length(entity.text);
          decoded = true;
          break;
        }
    if (!decoded) text += inText[i++];
  }
  return text;
}

int hexDigit(int inChar) {
  if (inChar >= '0' && inChar <= '9') return inChar - '0';
  if (inChar >= 'a' && inChar <= 'f') return inChar - 'a' + 10;
  if (inChar >= 'A' && inChar <= 'F') return inChar - 'A' + 10;
  return -1;
}

// One reference in a name whose "&" has been read: "#x" with one or two hex digits (a byte)
// or none (kEmptyName, nothing), or one of the five predefined entities, which documents
// of earlier versions hold. False for anything else.
bool readReference(std::istream& inStream, std::string& ioName) {
  if (inStream.peek() == '#') {
    inStream.get();
    if (inStream.get() != 'x') return false;
    int value = 0;
    int digits = 0;
    for (int digit; digits < 2 && (digit = hexDigit(inStream.peek())) >= 0; ++digits) {
      inStream.get();
      value = value * 16 + digit;
    }
    if (inStream.get() != ';') return false;
    if (digits > 0) ioName += static_cast<char>(value);
    return true;
  }
  std::string reference(1, '&');
  while (std::isalpha(inStream.peek()) && reference.size() < 5) reference += static_cast<char>(inStream.get());
  if (inStream.get() != ';') return false;
  reference += ';';
  const Entity* entity = std::find_if(std::begin(kEntities), std::end(kEntities),
                                      [&reference](const Entity& inEntity) { return reference == inEntity.text; });
  if (entity == std::end(kEntities)) return false;
  ioName += entity->character;
  return true;
}

// A run of name characters and references, decoded. False when the stream holds none, or
// when a reference is malformed.
bool readName(std::istream& inStream, std::string& outName) {
  outName.clear();
  bool any = false;
  for (;; any = true) {
    const int c = inStream.peek();
    if (isNameChar(c)) {
      outName += static_cast<char>(inStream.get());
    } else if (c == '&') {
      inStream.get();
      if (!readReference(inStream, outName)) return false;
    } else {
      return any;
    }
  }
}

bool expectText(std::istream& inStream, const char* inText) {
  for (; *inText; ++inText)
    if (inStream.get() != *inText) return false;
  return true;
}

// The rest of a comment whose "<" has been read: "!--", any text, "--" and ">"; a "--" that
// is not followed by ">" fails.
bool readComment(std::istream& inStream) {
  if (!expectText(inStream, "!--")) return false;
  for (int previous = 0;;) {
    const int c = inStream.get();
    if (c == std::char_traits<char>::eof()) return false;
    if (previous == '-' && c == '-') return inStream.get() == '>';
    previous = c;
  }
}

}  // namespace

kxProperties::kxProperties() : itsModifiedFlag(false) {}

kxProperties::kxProperties(const kxProperties& inOther) : itsModifiedFlag(false) { assign(inOther); }

kxProperties::kxProperties(kxProperties&& inOther) noexcept
    : itsEntries(std::move(inOther.itsEntries)), itsModifiedFlag(inOther.itsModifiedFlag) {}

kxProperties::kxProperties(const std::string& inText, char inSeparator) : itsModifiedFlag(false) {
  fromText(inText, true, inSeparator);
}

kxProperties& kxProperties::operator=(const kxProperties& inOther) {
  assign(inOther);
  return *this;
}

kxProperties& kxProperties::operator=(kxProperties&& inOther) noexcept {
  if (this != &inOther) {
    itsEntries = std::move(inOther.itsEntries);
    itsModifiedFlag = inOther.itsModifiedFlag;
  }
  return *this;
}

kxProperties::~kxProperties() = default;

kxProperties::Entries& kxProperties::entries() {
  if (!itsEntries) itsEntries = std::make_unique<Entries>();
  return *itsEntries;
}

const std::string* kxProperties::findValue(const std::string& inLowerKey) const {
  if (!itsEntries) return nullptr;
  const auto found = itsEntries->itsValues.find(inLowerKey);
  return found == itsEntries->itsValues.end() ? nullptr : &found->second;
}

bool kxProperties::storeValue(std::string inLowerKey, const std::string& inValue) {
  Entries& block = entries();
  const auto [position, inserted] = block.itsValues.try_emplace(std::move(inLowerKey), inValue);
  if (inserted) {
    block.itsOrder.push_back(position);
    itsModifiedFlag = true;
  } else if (position->second != inValue) {
    position->second = inValue;
    itsModifiedFlag = true;
  }
  return true;
}

bool kxProperties::setValue(const std::string& inKey, const std::string& inValue) {
  return storeValue(toLowerText(inKey), inValue);
}

bool kxProperties::setValue(const std::string& inKey, const char* inValue) {
  return setValue(inKey, std::string(inValue ? inValue : ""));
}

bool kxProperties::getValue(const std::string& inKey, std::string& outValue) const {
  const std::string* value = findValue(toLowerText(inKey));
  if (!value) return false;
  outValue = *value;
  return true;
}

const std::string& kxProperties::getValue(const std::string& inKey) const {
  const std::string* value = findValue(toLowerText(inKey));
  return value ? *value : emptyText();
}

std::string kxProperties::getValue(const std::string& inKey, const std::string& inDefault) const {
  const std::string* value = findValue(toLowerText(inKey));
  return value ? *value : inDefault;
}

std::string kxProperties::getValue(const std::string& inKey, const char* inDefault) const {
  return getValue(inKey, std::string(inDefault ? inDefault : ""));
}

bool kxProperties::hasValue(const std::string& inKey) const { return findValue(toLowerText(inKey)) != nullptr; }

void kxProperties::removeValue(const std::string& inKey) {
  if (!itsEntries) return;
  auto& values = itsEntries->itsValues;
  const auto found = values.find(toLowerText(inKey));
  if (found == values.end()) return;
  auto& order = itsEntries->itsOrder;
  for (auto position = order.begin(); position != order.end(); ++position)
    if (*position == found) {
      order.erase(position);
      break;
    }
  values.erase(found);
  itsModifiedFlag = true;
}

void kxProperties::clear() {
  if (itsEntries) {
    if (itsEntries->itsName.empty()) {
      itsEntries.reset();
    } else {
      itsEntries->itsValues.clear();
      itsEntries->itsOrder.clear();
    }
  }
  itsModifiedFlag = true;
}

uint32_t kxProperties::getCount() const {
  return itsEntries ? static_cast<uint32_t>(itsEntries->itsOrder.size()) : 0;
}

bool kxProperties::getAt(uint32_t inIndex, std::string& outKey, std::string& outValue) const {
  if (inIndex >= getCount()) return false;
  const auto& entry = *itsEntries->itsOrder[inIndex];
  outKey = entry.first;
  outValue = entry.second;
  return true;
}

const std::string& kxProperties::getName() const { return itsEntries ? itsEntries->itsName : emptyText(); }

void kxProperties::setName(const std::string& inName) {
  if (itsEntries || !inName.empty()) entries().itsName = inName;
}

void kxProperties::merge(const kxProperties& inOther) {
  if (this == &inOther || !inOther.itsEntries) return;
  for (const auto& position : inOther.itsEntries->itsOrder) storeValue(position->first, position->second);
}

void kxProperties::assign(const kxProperties& inOther) {
  if (this == &inOther) return;
  clear();
  merge(inOther);
  setName(inOther.getName());
  itsModifiedFlag = inOther.itsModifiedFlag;
}

bool kxProperties::getValue(const std::string& inKey, int& outValue) const {
  const std::string* text = findValue(toLowerText(inKey));
  int value = 0;
  if (!text || !parseInt(*text, value)) return false;
  outValue = value;
  return true;
}

bool kxProperties::getValue(const std::string& inKey, unsigned& outValue) const {
  const std::string* text = findValue(toLowerText(inKey));
  unsigned value = 0;
  if (!text || !parseUnsigned(*text, value)) return false;
  outValue = value;
  return true;
}

int kxProperties::getInt(const std::string& inKey, int inDefault, int inMinimum, int inMaximum) const {
  int value = 0;
  if (!getValue(inKey, value)) return inDefault;
  if (value < inMinimum) return inMinimum;
  if (value > inMaximum) return inMaximum;
  return value;
}

unsigned kxProperties::getUnsigned(const std::string& inKey, unsigned inDefault, unsigned inMinimum,
                                   unsigned inMaximum) const {
  unsigned value = 0;
  if (!getValue(inKey, value)) return inDefault;
  if (value < inMinimum) return inMinimum;
  if (value > inMaximum) return inMaximum;
  return value;
}

bool kxProperties::setValue(const std::string& inKey, int inValue) { return setValue(inKey, intToText(inValue)); }

bool kxProperties::setValue(const std::string& inKey, unsigned inValue) {
  return setValue(inKey, unsignedToText(inValue));
}

bool kxProperties::getBoolean(const std::string& inKey, bool& outValue) const {
  const std::string* text = findValue(toLowerText(inKey));
  if (!text) return false;
  int number = 0;
  outValue = equalsText(*text, "yes", false) || equalsText(*text, "true", false) ||
             (parseInt(*text, number) && number != 0);
  return true;
}

bool kxProperties::getBoolean(const std::string& inKey, const bool& inDefault) const {
  bool value = false;
  return getBoolean(inKey, value) ? value : inDefault;
}

bool kxProperties::getIntBoolean(const std::string& inKey, bool& outValue) const {
  int number = 0;
  if (!getValue(inKey, number)) return false;
  outValue = number != 0;
  return true;
}

bool kxProperties::getIntBoolean(const std::string& inKey, const bool& inDefault) const {
  bool value = false;
  return getIntBoolean(inKey, value) ? value : inDefault;
}

bool kxProperties::setValue(const std::string& inKey, bool inValue) {
  return setValue(inKey, std::string(inValue ? "yes" : "no"));
}

bool kxProperties::getValue(const std::string& inKey, std::list<std::string>& outValues, char inSeparator) const {
  const std::string* text = findValue(toLowerText(inKey));
  if (!text) return false;
  splitText(*text, inSeparator, outValues);
  return true;
}

bool kxProperties::getValue(const std::string& inKey, std::vector<std::string>& outValues,
                            char inSeparator) const {
  const std::string* text = findValue(toLowerText(inKey));
  if (!text) return false;
  splitText(*text, inSeparator, outValues);
  return true;
}

bool kxProperties::setValue(const std::string& inKey, const std::list<std::string>& inValues, char inSeparator) {
  return setValue(inKey, joinTexts(inValues, inSeparator));
}

bool kxProperties::setValue(const std::string& inKey, const std::vector<std::string>& inValues,
                            char inSeparator) {
  return setValue(inKey, joinTexts(inValues, inSeparator));
}

bool kxProperties::getSubProperties(const std::string& inPath, kxProperties& outSet) const {
  outSet.clear();
  outSet.setName(inPath);
  if (itsEntries) {
    const std::string prefix = toLowerText(inPath) + ":";
    const auto& values = itsEntries->itsValues;
    for (auto entry = values.lower_bound(prefix);
         entry != values.end() && entry->first.compare(0, prefix.size(), prefix) == 0; ++entry) {
      const std::string subKey = entry->first.substr(prefix.size());
      kxAssert(! subKey.empty());
      outSet.storeValue(subKey, entry->second);
    }
  }
  return outSet.getCount() != 0;
}

void kxProperties::setSubProperties(const kxProperties& inSet) {
  // A set made its own sub-set is read as it was before the call: the loop below adds to
  // the order it walks.
  if (&inSet == this) {
    const kxProperties snapshot(inSet);
    setSubProperties(snapshot);
    return;
  }
  const std::string keyStr = toLowerText(inSet.getName());
  kxAssert(! keyStr.empty());
  removeSubProperties(keyStr);
  if (!inSet.itsEntries) return;
  for (const auto& position : inSet.itsEntries->itsOrder) storeValue(keyStr + ":" + position->first, position->second);
}

void kxProperties::removeSubProperties(const std::string& inPath) {
  const std::string keyStr = toLowerText(inPath);
  kxAssert(! keyStr.empty());
  itsModifiedFlag = true;
  if (!itsEntries) return;
  const std::string prefix = keyStr + ":";
  auto& order = itsEntries->itsOrder;
  std::erase_if(order, [&prefix](const Entries::ValueMap::iterator& inEntry) {
    return inEntry->first.compare(0, prefix.size(), prefix) == 0;
  });
  auto& values = itsEntries->itsValues;
  auto entry = values.lower_bound(prefix);
  while (entry != values.end() && entry->first.compare(0, prefix.size(), prefix) == 0) entry = values.erase(entry);
}

void kxProperties::fromText(const std::string& inText, bool inClearFirst, char inSeparator) {
  if (inClearFirst) clear();
  std::vector<std::string> pieces;
  splitText(inText, inSeparator, pieces);
  for (size_t i = 0; i < pieces.size(); i += 2) setValue(pieces[i], i + 1 < pieces.size() ? pieces[i + 1] : std::string());
}

bool kxProperties::writeElements(std::ostream& outStream, bool inNewLines) const {
  if (itsEntries)
    for (const auto& position : itsEntries->itsOrder) {
      outStream << '<';
      writeName(outStream, position->first);
      outStream << " value=\"";
      writeValue(outStream, position->second);
      outStream << "\"/>";
      if (inNewLines) outStream << '\n';
    }
  return outStream.good();
}

bool kxProperties::readElements(std::istream& inStream) {
  itsModifiedFlag = false;
  inStream >> std::ws;
  while (inStream.good()) {
    if (inStream.peek() != '<') return true;
    inStream.get();
    const int next = inStream.peek();
    if (next == '!') {
      if (!readComment(inStream)) return false;
    } else if (!isNameChar(next) && next != '&') {
      inStream.unget();  // a closing tag: the enclosing set's elements end here
      return true;
    } else {
      std::string key;
      if (!readName(inStream, key)) return false;
      inStream >> std::ws;
      if (!expectText(inStream, "value")) return false;
      inStream >> std::ws;
      if (inStream.get() != '=') return false;
      inStream >> std::ws;
      if (inStream.get() != '"') return false;
      std::string value;
      if (!std::getline(inStream, value, '"') || inStream.eof()) return false;
      inStream >> std::ws;
      if (!expectText(inStream, "/>")) return false;
      setValue(key, decodeEntities(value));
    }
    inStream >> std::ws;
  }
  return true;
}

bool kxProperties::writeElementsToString(std::string& outText, bool inNewLines) const {
  std::ostringstream stream;
  const bool good = writeElements(stream, inNewLines);
  outText = stream.str();
  return good;
}

bool kxProperties::readElementsFromString(const std::string& inText) {
  std::istringstream stream(inText);
  return readElements(stream);
}

bool kxProperties::writeDocument(std::ostream& outStream, const std::list<kxProperties>& inSets, bool inNewLines) {
  outStream << "<?xml version='1.0'?>";
  if (inNewLines) outStream << '\n';
  for (const kxProperties& set : inSets) {
    outStream << '<';
    writeName(outStream, set.getName());
    outStream << '>';
    if (inNewLines) outStream << '\n';
    set.writeElements(outStream, inNewLines);
    outStream << "</";
    writeName(outStream, set.getName());
    outStream << '>';
    if (inNewLines) outStream << '\n';
  }
  return outStream.good();
}

bool kxProperties::readDocument(std::istream& inStream, std::list<kxProperties>& ioSets) {
  inStream >> std::ws;
  bool openRead = false;  // the "<" of the first tag has been consumed
  if (inStream.peek() == '<') {
    inStream.get();
    if (inStream.peek() == '?') {
      for (int previous = 0;;) {
        const int c = inStream.get();
        if (c == std::char_traits<char>::eof()) return false;
        if (previous == '?' && c == '>') break;
        previous = c;
      }
      inStream >> std::ws;
    } else {
      openRead = true;
    }
  }
  while (openRead || inStream.peek() == '<') {
    if (!openRead) inStream.get();
    openRead = false;
    if (inStream.peek() == '!') {
      if (!readComment(inStream)) return false;
      inStream >> std::ws;
      continue;
    }
    inStream >> std::ws;
    std::string name;
    if (!readName(inStream, name)) return false;
    inStream >> std::ws;
    if (inStream.get() != '>') return false;

    kxProperties set;
    if (!set.readElements(inStream)) return false;
    for (;;) {
      inStream >> std::ws;
      if (inStream.get() != '<') return false;
      if (inStream.peek() != '!') break;
      if (!readComment(inStream)) return false;
    }
    if (inStream.get() != '/') return false;
    std::string closing;
    if (!readName(inStream, closing)) return false;
    inStream >> std::ws;
    if (inStream.get() != '>' || !equalsText(name, closing, false)) return false;
    set.setName(name);
    ioSets.push_back(std::move(set));
    inStream >> std::ws;
  }
  return true;
}

void kxProperties::dumpToLog() const {
  std::string text;
  writeElementsToString(text, true);
  kxTraceLine(1, __FILE__, __LINE__, text.c_str());
}
