// kxProperties: keys and order, typed values, paths, the flat form and the XML text.
#include <gtest/gtest.h>

#include <cstdlib>
#include <list>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "orvo/util/kxproperties.h"

// Counts the allocations of this program, to show what an empty set costs. The replacement
// pair is malloc/free on both sides, which GCC cannot see through.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
size_t gAllocations = 0;

void* operator new(size_t inSize) {
  ++gAllocations;
  if (void* block = std::malloc(inSize ? inSize : 1)) return block;
  throw std::bad_alloc();
}
void* operator new(size_t inSize, const std::nothrow_t&) noexcept {
  ++gAllocations;
  return std::malloc(inSize ? inSize : 1);
}
void operator delete(void* inBlock) noexcept { std::free(inBlock); }
void operator delete(void* inBlock, const std::nothrow_t&) noexcept { std::free(inBlock); }
void operator delete(void* inBlock, size_t) noexcept { std::free(inBlock); }

namespace {

std::vector<std::pair<std::string, std::string>> entriesOf(const kxProperties& inSet) {
  std::vector<std::pair<std::string, std::string>> entries;
  std::string key, value;
  for (uint32_t i = 0; inSet.getAt(i, key, value); ++i) entries.emplace_back(key, value);
  return entries;
}

using Entries = std::vector<std::pair<std::string, std::string>>;

TEST(Properties, KeysIgnoreCaseAndKeepFirstInsertionOrder) {
  kxProperties set;
  EXPECT_FALSE(set.isModified());
  set.setValue("TTL", "1");
  set.setValue("b", "2");
  set.setValue("a", "3");
  set.setValue("B", "4");
  EXPECT_EQ(set.getValue("ttl"), "1");
  EXPECT_EQ(entriesOf(set), (Entries{{"ttl", "1"}, {"b", "4"}, {"a", "3"}}));
  EXPECT_TRUE(set.isModified());

  std::string out = "untouched";
  EXPECT_FALSE(set.getValue("missing", out));
  EXPECT_EQ(out, "untouched");
  EXPECT_EQ(set.getValue("missing"), "");
  EXPECT_EQ(set.getValue("missing", "fallback"), "fallback");
  EXPECT_TRUE(set.hasValue("Ttl"));

  set.setModified(false);
  set.setValue("ttl", "1");  // same value: no change
  EXPECT_FALSE(set.isModified());
  set.setValue("ttl", "2");
  EXPECT_TRUE(set.isModified());

  set.setModified(false);
  set.removeValue("nothing");
  EXPECT_FALSE(set.isModified());
  set.removeValue("B");
  EXPECT_TRUE(set.isModified());
  EXPECT_EQ(entriesOf(set), (Entries{{"ttl", "2"}, {"a", "3"}}));
  std::string key, value;
  EXPECT_FALSE(set.getAt(2, key, value));

  set.setName("zone");
  set.clear();
  EXPECT_EQ(set.getCount(), 0u);
  EXPECT_EQ(set.getName(), "zone");
}

TEST(Properties, CopyMergeAndAssign) {
  kxProperties source;
  source.setName("src");
  source.setValue("x", "1");
  source.setValue("y", "2");
  source.setModified(false);

  kxProperties copy(source);
  EXPECT_EQ(entriesOf(copy), entriesOf(source));
  EXPECT_EQ(copy.getName(), "src");
  EXPECT_FALSE(copy.isModified());

  kxProperties target;
  target.setValue("y", "old");
  target.setValue("z", "3");
  target.merge(source);
  EXPECT_EQ(entriesOf(target), (Entries{{"y", "2"}, {"z", "3"}, {"x", "1"}}));

  target = source;
  EXPECT_EQ(entriesOf(target), entriesOf(source));
  kxProperties& alias = target;
  target = alias;
  EXPECT_EQ(target.getCount(), 2u);

  const char* literal = "text";
  target.setValue("literal", literal);  // a C text is a text, not a boolean
  EXPECT_EQ(target.getValue("literal"), "text");
}

TEST(Properties, TypedValues) {
  kxProperties set;
  set.setValue("big", "250");
  set.setValue("word", "abc");
  set.setValue("neg", -7);
  set.setValue("count", 4000000000u);
  EXPECT_EQ(set.getInt("big", 5, 0, 100), 100);
  EXPECT_EQ(set.getInt("neg", 5, 0, 100), 0);
  EXPECT_EQ(set.getInt("word", 5, 0, 100), 5);
  EXPECT_EQ(set.getInt("missing", 5, 0, 100), 5);
  EXPECT_EQ(set.getValue("neg"), "-7");
  EXPECT_EQ(set.getUnsigned("count", 1, 0, 0xFFFFFFFFu), 4000000000u);
  int number = 42;
  EXPECT_FALSE(set.getValue("word", number));
  EXPECT_EQ(number, 42);

  struct Case {
    const char* text;
    bool boolean;
    bool intOk, intBoolean;
  } cases[] = {
      {"YES", true, false, false}, {"True", true, false, false}, {"2", true, true, true},
      {"no", false, false, false}, {"0", false, true, false},     {"off", false, false, false},
      {"-1", true, true, true},    {"", false, false, false},
  };
  for (const Case& c : cases) {
    set.setValue("flag", c.text);
    bool value = !c.boolean;
    EXPECT_TRUE(set.getBoolean("flag", value)) << c.text;
    EXPECT_EQ(value, c.boolean) << c.text;
    bool intValue = !c.intBoolean;
    EXPECT_EQ(set.getIntBoolean("flag", intValue), c.intOk) << c.text;
    if (c.intOk) {
      EXPECT_EQ(intValue, c.intBoolean) << c.text;
    }
    EXPECT_EQ(set.getIntBoolean("flag", true), c.intOk ? c.intBoolean : true) << c.text;
  }
  EXPECT_TRUE(set.getBoolean("missing", true));
  bool untouched = true;
  EXPECT_FALSE(set.getBoolean("missing", untouched));
  set.setValue("on", true);
  set.setValue("off", false);
  EXPECT_EQ(set.getValue("on"), "yes");
  EXPECT_EQ(set.getValue("off"), "no");

  set.setValue("list", std::vector<std::string>{"a", "", "c"}, ',');
  EXPECT_EQ(set.getValue("list"), "a,,c");
  std::list<std::string> pieces;
  EXPECT_TRUE(set.getValue("list", pieces, ','));
  EXPECT_EQ(pieces, (std::list<std::string>{"a", "", "c"}));
  EXPECT_FALSE(set.getValue("missing", pieces, ','));
}

TEST(Properties, SubSetsByPath) {
  kxProperties set;
  set.setValue("zone:ttl", "3600");
  set.setValue("zonex", "1");
  set.setValue("ZONE:DNS:x", "2");
  set.setValue("other:a", "3");

  kxProperties sub;
  sub.setValue("stale", "gone");
  EXPECT_TRUE(set.getSubProperties("Zone", sub));
  EXPECT_EQ(sub.getName(), "Zone");
  EXPECT_EQ(entriesOf(sub), (Entries{{"dns:x", "2"}, {"ttl", "3600"}}));  // key order
  EXPECT_FALSE(set.getSubProperties("none", sub));
  EXPECT_EQ(sub.getCount(), 0u);

  kxProperties replacement;
  replacement.setName("zone");
  replacement.setValue("serial", "7");
  set.setSubProperties(replacement);
  EXPECT_EQ(entriesOf(set), (Entries{{"zonex", "1"}, {"other:a", "3"}, {"zone:serial", "7"}}));

  set.setModified(false);
  set.removeSubProperties("nothing");
  EXPECT_TRUE(set.isModified());
  set.removeSubProperties("OTHER");
  EXPECT_EQ(entriesOf(set), (Entries{{"zonex", "1"}, {"zone:serial", "7"}}));
}

TEST(Properties, FlatText) {
  kxProperties set(std::string("a\t1\tB\t2\tc"));
  EXPECT_EQ(entriesOf(set), (Entries{{"a", "1"}, {"b", "2"}, {"c", ""}}));
  set.fromText("d;4", false, ';');
  EXPECT_EQ(set.getCount(), 4u);
  set.fromText("e;5", true, ';');
  EXPECT_EQ(entriesOf(set), (Entries{{"e", "5"}}));
}

std::string document(const std::list<kxProperties>& inSets, bool inNewLines) {
  std::ostringstream out;
  EXPECT_TRUE(kxProperties::writeDocument(out, inSets, inNewLines));
  return out.str();
}

kxProperties zoneSet() {
  kxProperties zone;
  zone.setName("zone");
  zone.setValue("ttl", "3600");
  zone.setValue("owner", "admin");
  return zone;
}

TEST(Properties, DocumentTextAndReadBack) {
  const std::string text = document({zoneSet()}, true);
  EXPECT_EQ(text,
            "<?xml version='1.0'?>\n<zone>\n<ttl value=\"3600\"/>\n<owner value=\"admin\"/>\n</zone>\n");

  std::list<kxProperties> sets;
  std::istringstream in(text);
  ASSERT_TRUE(kxProperties::readDocument(in, sets));
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets.front().getName(), "zone");
  EXPECT_EQ(entriesOf(sets.front()), (Entries{{"ttl", "3600"}, {"owner", "admin"}}));

  std::string elements;
  EXPECT_TRUE(zoneSet().writeElementsToString(elements, false));
  EXPECT_EQ(elements, "<ttl value=\"3600\"/><owner value=\"admin\"/>");
}

TEST(Properties, DocumentReaderTable) {
  struct Case {
    const char* text;
    bool ok;
    size_t sets;
  } cases[] = {
      {"<?xml version='1.0'?><zone><ttl value=\"1\"/></ZONE>", true, 1},
      {"<zone><ttl value=\"1\"/></other>", false, 0},
      {"  <!-- head -->\n<a>\n</a>", true, 1},
      {"<a><!-- bad -- comment --></a>", false, 0},  // "--" inside a comment
      {"<a><x value='1'/></a>", false, 0},
      {"<a><x value=\"1\"/><!-- between --><y value=\"2\"/></a><!-- c --><b></b>", true, 2},
      {"< a >\n<x  value = \"1\" /></a>", true, 1},
      {"<a>< x value=\"1\"/></a>", false, 0},  // a value element starts right after its "<"
      {"<a><x value=\"1\"/></a><b><y value=\"2\"></b>", false, 1},  // the first set stays
      {"<a><x value=\"1\"/>", false, 0},
      {"<a><x value=\"1/></a>", false, 0},
      {"<a><x valu=\"1\"/></a>", false, 0},
      {"<?xml never closed", false, 0},
      {"", true, 0},
      {"<a></a >", true, 1},
      {"<a><k&lt;&amp; value=\"1\"/></a>", true, 1},
      {"<a><x&ap;y value=\"1\"/></a>", false, 0},  // only the five entities stand in names
      {"<a><x&amp value=\"1\"/></a>", false, 0},
  };
  for (const Case& c : cases) {
    std::list<kxProperties> sets;
    std::istringstream in(c.text);
    EXPECT_EQ(kxProperties::readDocument(in, sets), c.ok) << c.text;
    EXPECT_EQ(sets.size(), c.sets) << c.text;
  }
}

TEST(Properties, ReadElementsAddsAndReportsChange) {
  kxProperties set;
  set.setValue("keep", "1");
  EXPECT_TRUE(set.readElementsFromString("<keep value=\"1\"/> <!-- c --> "));
  EXPECT_FALSE(set.isModified());
  EXPECT_TRUE(set.readElementsFromString("<new value=\"2\"/></end>"));
  EXPECT_TRUE(set.isModified());
  EXPECT_EQ(entriesOf(set), (Entries{{"keep", "1"}, {"new", "2"}}));
}

// Values with quotes, "<", ">", "&", apostrophes, line ends and entity-like text, keys and set
// names with the escaped characters: every set survives the round trip, and the sets after
// an awkward value are not lost.
TEST(Properties, DocumentRoundTripWithAwkwardCharacters) {
  kxProperties awkward;
  awkward.setName("a<&>\"b");
  const std::string values[] = {
      "say \"hi\"", "<tag>", "a & b", "&amp; stays &amp;", "it's", "line\nbreak\ttab", "&lt;&#65;&bogus;", "\"", "",
      "x/>y", "--", "<!-- not a comment -->",
  };
  for (size_t i = 0; i < std::size(values); ++i) awkward.setValue("v" + std::to_string(i), values[i]);
  awkward.setValue("key\"<&>'x&y", "k");
  kxProperties after;
  after.setName("after");
  after.setValue("still", "here");

  for (bool newLines : {true, false}) {
    std::list<kxProperties> sets;
    std::istringstream in(document({awkward, after}, newLines));
    ASSERT_TRUE(kxProperties::readDocument(in, sets)) << in.str();
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets.front().getName(), awkward.getName());
    EXPECT_EQ(entriesOf(sets.front()), entriesOf(awkward));
    EXPECT_EQ(sets.back().getValue("still"), "here");
  }
}

// Every name and key reads back, whatever bytes it holds, and so do the sets after it: an
// unnamed set (the default of every record's properties) or a key with a blank once wrote
// a tag that ended the read.
TEST(Properties, EveryNameAndKeyReadsBack) {
  const std::string names[] = {
      "", "my key", "a\tb\nc", std::string("nul\0in", 6), "\x01\x7f\x80\xff", "&#x41;", "&amp;",
      "<x>", "a'b\"c", "caf\xc3\xa9", "-.:_", "&#x;",
  };
  for (const std::string& name : names) {
    kxProperties set;
    set.setName(name);
    set.setValue(name, "v");  // keys are lower-cased; none of these has a capital
    set.setValue("plain", name);
    kxProperties after;
    after.setName("after");
    after.setValue("still", "here");
    for (bool newLines : {true, false}) {
      std::list<kxProperties> sets;
      std::istringstream in(document({set, after}, newLines));
      ASSERT_TRUE(kxProperties::readDocument(in, sets)) << in.str();
      ASSERT_EQ(sets.size(), 2u) << in.str();
      EXPECT_EQ(sets.front().getName(), name);
      EXPECT_EQ(entriesOf(sets.front()), entriesOf(set)) << in.str();
      EXPECT_EQ(sets.back().getValue("still"), "here");
    }
  }
  EXPECT_EQ(document({kxProperties()}, false), "<?xml version='1.0'?><&#x;></&#x;>");
  kxProperties blank;
  blank.setValue("my key", "1");
  std::string elements;
  blank.writeElementsToString(elements, false);
  EXPECT_EQ(elements, "<my&#x20;key value=\"1\"/>");

  // References stand for one byte, or for nothing; anything else is refused.
  struct Case {
    const char* text;
    bool ok;
    const char* key;
  } cases[] = {
      {"<a><x&#x41;y value=\"1\"/></a>", true, "xay"},  // keys are lower-cased as they are set
      {"<a><&#x9; value=\"1\"/></a>", true, "\t"},
      {"<a><&#x; value=\"1\"/></a>", true, ""},
      {"<a><x&#x414; value=\"1\"/></a>", false, nullptr},
      {"<a><x&#41; value=\"1\"/></a>", false, nullptr},
      {"<a><x&#xG; value=\"1\"/></a>", false, nullptr},
      {"<a><x&#x4 value=\"1\"/></a>", false, nullptr},
  };
  for (const Case& c : cases) {
    std::list<kxProperties> sets;
    std::istringstream in(c.text);
    EXPECT_EQ(kxProperties::readDocument(in, sets), c.ok) << c.text;
    if (c.ok && !sets.empty()) {
      EXPECT_TRUE(sets.front().hasValue(c.key)) << c.text;
    }
  }
  // A value keeps character references as text: they are decoded in names only.
  std::list<kxProperties> sets;
  std::istringstream in("<s><a value=\"&#x41;\"/></s>");
  ASSERT_TRUE(kxProperties::readDocument(in, sets));
  EXPECT_EQ(sets.front().getValue("a"), "&#x41;");
}

// A set made its own sub-set takes its entries as they were before the call.
TEST(Properties, SetSubPropertiesOfItself) {
  kxProperties set;
  set.setName("zone");
  set.setValue("ttl", "1");
  set.setValue("zone:old", "x");
  set.setSubProperties(set);
  EXPECT_EQ(entriesOf(set), (Entries{{"ttl", "1"}, {"zone:ttl", "1"}, {"zone:zone:old", "x"}}));
}

// Documents written before entities were used keep their text: only the five predefined
// entities change.
TEST(Properties, OlderDocumentsReadUnchanged) {
  std::list<kxProperties> sets;
  std::istringstream in("<s><a value=\"AT&T &#38; &nbsp; &amp; &quot; &apos; &lt;&gt;\"/></s>");
  ASSERT_TRUE(kxProperties::readDocument(in, sets));
  EXPECT_EQ(sets.front().getValue("a"), "AT&T &#38; &nbsp; & \" ' <>");
}

TEST(Properties, EmptySetOwnsNoMemory) {
  EXPECT_LE(sizeof(kxProperties), 3 * sizeof(void*));
  const size_t before = gAllocations;
  {
    kxProperties set;
    kxProperties copy(set);
    copy = set;
    kxProperties moved(std::move(copy));
    set.setName("");
    set.clear();
    EXPECT_EQ(set.getName(), "");
    EXPECT_EQ(set.getValue("a"), "");
    EXPECT_EQ(moved.getCount(), 0u);
  }
  EXPECT_EQ(gAllocations, before);
  kxProperties named;
  named.setName("n");
  EXPECT_GT(gAllocations, before);
}

}  // namespace
