#include "pins/ExtCollection.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "core/Exceptions.h"

namespace tardivox {
namespace {

class NamedItem : public TOWExtCollectionItem {
 public:
  const char* ClassName() const override { return "NamedItem"; }
  std::string DisplayName() const override { return name.empty() ? ClassName() : name; }
  void Assign(const TOWExtCollectionItem& source) override {
    if (auto* named = dynamic_cast<const NamedItem*>(&source)) {
      name = named->name;
      return;
    }
    TOWExtCollectionItem::Assign(source);
  }
  std::string name;
};

class OtherItem : public TOWExtCollectionItem {
 public:
  const char* ClassName() const override { return "OtherItem"; }
};

// Names every new item after the number of items already announced, as the components'
// collections do with their default names.
class NamingCollection : public TOWExtCollectionOf<NamedItem> {
 public:
  explicit NamingCollection(TPersistent* owner) : TOWExtCollectionOf<NamedItem>(owner) {}
  std::vector<int> announcedAt;  // Index() of each item when its hook ran

 protected:
  void ItemAdded(TOWExtCollectionItem& item) override {
    announcedAt.push_back(item.Index());
    static_cast<NamedItem&>(item).name = "Item" + std::to_string(announcedAt.size());
  }
};

struct RecordingObserver : IOWCollectionObserver {
  void ItemAdded(TOWExtCollection&, TOWExtCollectionItem& item) override {
    seen.push_back(item.DisplayName());
    if (fail) throw std::runtime_error("observer failed");
  }
  std::vector<std::string> seen;
  bool fail = false;
};

TEST(ExtCollection, NewItemsAreAnnouncedOnceAfterTheyArePlaced) {
  TPersistent owner;
  NamingCollection items(&owner);
  RecordingObserver failing, observer;
  failing.fail = true;
  items.AddObserver(&failing);
  items.AddObserver(&observer);

  NamedItem& first = items.Add();
  NamedItem& inserted = items.Insert(0);
  EXPECT_EQ(items.Owner(), &owner);
  EXPECT_EQ(items.Count(), 2);
  EXPECT_EQ(items.announcedAt, (std::vector<int>{0, 0}));
  EXPECT_TRUE(first.Announced());
  EXPECT_EQ(first.Collection(), &items);
  EXPECT_EQ(&items.Items(0), &inserted);
  EXPECT_EQ(first.DisplayName(), "Item1");
  EXPECT_EQ(inserted.DisplayName(), "Item2");
  // A failing observer does not stop the others or undo the addition.
  EXPECT_EQ(failing.seen, (std::vector<std::string>{"Item1", "Item2"}));
  EXPECT_EQ(observer.seen, failing.seen);
  EXPECT_EQ(first.ID(), 0u);
  EXPECT_EQ(inserted.ID(), 1u);

  items.RemoveObserver(&failing);
  items.Add();
  EXPECT_EQ(failing.seen.size(), 2u);
  EXPECT_EQ(observer.seen.size(), 3u);
}

TEST(ExtCollection, DeleteMoveFindAndRangeErrors) {
  NamingCollection items(nullptr);
  for (int i = 0; i < 4; ++i) items.Add();
  items.Items(3).SetIndex(0);
  EXPECT_EQ(items.Items(0).name, "Item4");
  EXPECT_EQ(items.Items(1).Index(), 1);
  items.Items(0).SetIndex(99);  // brought into range: last place
  EXPECT_EQ(items.Items(3).name, "Item4");

  const uint32_t id = items.Items(1).ID();
  EXPECT_EQ(items.FindItemID(id), &items.Items(1));
  items.Delete(1);
  EXPECT_EQ(items.FindItemID(id), nullptr);
  EXPECT_EQ(items.Count(), 3);
  // Identifiers are not reused.
  EXPECT_EQ(items.Add().ID(), 4u);

  try {
    items.Items(4);
    FAIL() << "no range error";
  } catch (const ERangeError& e) {
    EXPECT_STREQ(e.what(), "Index de liste hors limites (4)");
  }
  EXPECT_THROW(items.Delete(-1), ERangeError);
  items.Clear();
  EXPECT_EQ(items.Count(), 0);
}

TEST(ExtCollection, AssignCopiesItemsThroughTheirAssign) {
  NamingCollection source(nullptr), target(nullptr);
  source.Add().name = "Main";
  source.Add().name = "Spare";
  target.Add();
  target.Assign(source);
  ASSERT_EQ(target.Count(), 2);
  EXPECT_EQ(target.Items(0).name, "Main");
  EXPECT_EQ(target.Items(1).name, "Spare");

  TOWExtCollectionOf<OtherItem> others(nullptr);
  others.Add();
  try {
    target.Assign(others);
    FAIL() << "assignment between unrelated items accepted";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Impossible d'affecter OtherItem à NamedItem");
  }
}

}  // namespace
}  // namespace tardivox
