// kxProperties: a named set of text values under case-insensitive keys, kept in the order in
// which the keys were first set.
//
// Keys are lower-cased (ASCII A-Z only) by every operation that takes one; values are kept
// exactly as given. Keys may be paths joined by ":": the entries whose keys begin with
// "a:b:" form the sub-set named a:b, which lets one set hold a tree. A set has two text
// forms: a small XML dialect (each value an empty element with a "value" attribute, each set
// an element of its own) and a flat form of keys and values separated by one character.
//
// Records hold one set each and zones hold millions of records, so an empty set owns no
// memory: the entries and the name live in a block made on the first insertion or name.
//
// In the XML text a name or key keeps its name characters (letters, digits, "_", ":", "."
// and "-") and writes every other byte as the character reference "&#xHH;"; the empty name
// is written as "&#x;". Values write '"', '&', '<' and '>' as the predefined entities. The
// reader decodes character references only in names and keys, and the five predefined
// entities in names, keys and values; any other "&" text in a value is kept as it stands, so
// documents of earlier versions read back unchanged.
//
// A set is a single-thread value. The random generator of this module lives in
// kxrandomgenerator.h.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "orvo/util/kxrandomgenerator.h"

class kxProperties {
 public:
  kxProperties();
  kxProperties(const kxProperties& inOther);
  kxProperties(kxProperties&& inOther) noexcept;
  // fromText (inText, true, inSeparator).
  explicit kxProperties(const std::string& inText, char inSeparator = '\t');
  kxProperties& operator=(const kxProperties& inOther);
  kxProperties& operator=(kxProperties&& inOther) noexcept;
  virtual ~kxProperties();

  // Inserts or replaces; always true.
  bool setValue(const std::string& inKey, const std::string& inValue);
  bool setValue(const std::string& inKey, const char* inValue);
  // The value when the key exists; outValue is untouched otherwise.
  bool getValue(const std::string& inKey, std::string& outValue) const;
  // The value, or a shared empty string.
  const std::string& getValue(const std::string& inKey) const;
  std::string getValue(const std::string& inKey, const std::string& inDefault) const;
  std::string getValue(const std::string& inKey, const char* inDefault) const;
  bool hasValue(const std::string& inKey) const;
  void removeValue(const std::string& inKey);
  // Removes every entry; the name stays.
  void clear();

  uint32_t getCount() const;
  // The entry at inIndex in insertion order; false when inIndex is not below the count.
  bool getAt(uint32_t inIndex, std::string& outKey, std::string& outValue) const;

  const std::string& getName() const;
  void setName(const std::string& inName);
  bool isModified() const { return itsModifiedFlag; }
  void setModified(bool inModified) { itsModifiedFlag = inModified; }

  // setValue for every entry of inOther, in its order.
  void merge(const kxProperties& inOther);
  // clear, merge, then the other set's name and modified flag.
  void assign(const kxProperties& inOther);

  // Integers: false when the key is missing or the value is not a decimal number.
  bool getValue(const std::string& inKey, int& outValue) const;
  bool getValue(const std::string& inKey, unsigned& outValue) const;
  // The default when missing or not a number; otherwise clamped to [inMinimum, inMaximum].
  int getInt(const std::string& inKey, int inDefault, int inMinimum, int inMaximum) const;
  unsigned getUnsigned(const std::string& inKey, unsigned inDefault, unsigned inMinimum, unsigned inMaximum) const;
  bool setValue(const std::string& inKey, int inValue);
  bool setValue(const std::string& inKey, unsigned inValue);

  // Booleans: "yes" and "true" in any case, or a number other than 0, are true.
  bool getBoolean(const std::string& inKey, bool& outValue) const;
  bool getBoolean(const std::string& inKey, const bool& inDefault) const;
  // Only a decimal number, not 0 meaning true.
  bool getIntBoolean(const std::string& inKey, bool& outValue) const;
  bool getIntBoolean(const std::string& inKey, const bool& inDefault) const;
  // Stores "yes" or "no".
  bool setValue(const std::string& inKey, bool inValue);

  // String lists, split at and joined with inSeparator.
  bool getValue(const std::string& inKey, std::list<std::string>& outValues, char inSeparator) const;
  bool getValue(const std::string& inKey, std::vector<std::string>& outValues, char inSeparator) const;
  bool setValue(const std::string& inKey, const std::list<std::string>& inValues, char inSeparator);
  bool setValue(const std::string& inKey, const std::vector<std::string>& inValues, char inSeparator);

  // outSet becomes the sub-set under inPath (named inPath); true when it has entries.
  bool getSubProperties(const std::string& inPath, kxProperties& outSet) const;
  // Replaces the sub-set named like inSet by inSet's entries.
  void setSubProperties(const kxProperties& inSet);
  void removeSubProperties(const std::string& inPath);

  // The flat form: keys and values alternating between separators; an odd last piece is a
  // key with the value "".
  void fromText(const std::string& inText, bool inClearFirst = true, char inSeparator = '\t');

  bool writeElements(std::ostream& outStream, bool inNewLines) const;
  // Adds the value elements up to the next tag that is not one; clears the modified flag
  // first, so afterwards it tells whether anything was inserted or changed.
  bool readElements(std::istream& inStream);
  bool writeElementsToString(std::string& outText, bool inNewLines) const;
  bool readElementsFromString(const std::string& inText);

  static bool writeDocument(std::ostream& outStream, const std::list<kxProperties>& inSets, bool inNewLines);
  // Appends every set read; sets read before a failure stay in the list.
  static bool readDocument(std::istream& inStream, std::list<kxProperties>& ioSets);

  // The elements, one a line, as one trace line.
  void dumpToLog() const;

 private:
  struct Entries;

  // The entry block, made on first use.
  Entries& entries();
  const std::string* findValue(const std::string& inLowerKey) const;
  bool storeValue(std::string inLowerKey, const std::string& inValue);

  std::unique_ptr<Entries> itsEntries;
  bool itsModifiedFlag;
};
