#include "model/Component.h"

#include <gtest/gtest.h>

#include "core/Exceptions.h"

namespace tardivox {
namespace {

// Counts destructions in order.
class TCounted : public TComponent {
 public:
  TCounted(TComponent* owner, std::string name, std::vector<std::string>& destroyed)
      : TComponent(owner), destroyed_(destroyed) {
    SetName(std::move(name));
  }
  ~TCounted() override { destroyed_.push_back(Name()); }

 private:
  std::vector<std::string>& destroyed_;
};

class TFormat : public TPersistent {
 public:
  TFormat() {
    PublishValue(
        "SampleRate", [this] { return TPropertyValue(int64_t{sampleRate}); },
        [this](const TPropertyValue& v) { sampleRate = static_cast<uint32_t>(AsInteger(v)); },
        int64_t{11025});
  }
  uint32_t sampleRate = 11025;
};

class TDevice : public TComponent {
 public:
  explicit TDevice(TComponent* owner) : TComponent(owner) {
    PublishValue(
        "Enabled", [this] { return TPropertyValue(enabled); },
        [this](const TPropertyValue& v) { enabled = AsBool(v); }, true);
    PublishValue(
        "Delay", [this] { return TPropertyValue(delay); }, nullptr, 0.0);
    PublishObject("AudioFormat", &format);
  }
  void Loaded() override {
    TComponent::Loaded();
    loadedWithEnabled = enabled;
  }
  bool enabled = true;
  double delay = 0.0;
  bool loadedWithEnabled = false;
  TFormat format;
};

class TForm : public TComponent {
 public:
  TForm() : TComponent(nullptr) {}
  bool IsRoot() const override { return true; }
};

TEST(Component, OwnerDestroysItsComponentsLastFirst) {
  std::vector<std::string> destroyed;
  {
    TCounted root(nullptr, "root", destroyed);
    new TCounted(&root, "a", destroyed);
    auto* b = new TCounted(&root, "b", destroyed);
    new TCounted(b, "b1", destroyed);
    new TCounted(&root, "c", destroyed);
    delete root.FindComponent("a");  // leaves its owner's list
    EXPECT_EQ(root.ComponentCount(), 2);
    EXPECT_EQ(root.FindComponent("b"), b);
    EXPECT_EQ(root.FindComponent("a"), nullptr);
  }
  // The owner's own destructor body runs first, then its components go, last first.
  EXPECT_EQ(destroyed, (std::vector<std::string>{"a", "root", "c", "b", "b1"}));
}

TEST(Component, NamesAreUniqueAmongSiblings) {
  TForm form;
  auto* a = new TDevice(&form);
  auto* b = new TDevice(&form);
  a->SetName("ALAudioIn1");
  try {
    b->SetName("ALAudioIn1");
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "A component named ALAudioIn1 already exists");
  }
  EXPECT_EQ(b->Name(), "");
  a->SetName("ALAudioIn1");  // its own name again
  b->SetName("ALAudioOut1");
  EXPECT_EQ(form.FindComponent("ALAudioOut1"), b);
}

TEST(Component, RootIsTheFirstOwnerlessOrRootComponent) {
  TForm form;
  auto* device = new TDevice(&form);
  auto* inner = new TDevice(device);
  EXPECT_EQ(inner->RootComponent(), &form);
  EXPECT_EQ(form.RootComponent(), &form);
  TComponent outer(nullptr);
  TForm* nested = new TForm;
  // A root inside another component still roots its own components.
  TDevice* d2 = new TDevice(nested);
  EXPECT_EQ(d2->RootComponent(), nested);
  delete nested;
}

TEST(Component, StoredSettingsAreSetByNameThenLoaded) {
  TForm form;
  auto* device = new TDevice(&form);
  device->BeginLoading();
  EXPECT_TRUE(device->IsLoading());
  EXPECT_TRUE(device->FindProperty("Enabled")->IsDefault());
  device->SetPropertyValue("Enabled", false);
  device->SetPropertyValue("AudioFormat.SampleRate", int64_t{44100});
  device->Loaded();
  EXPECT_FALSE(device->IsLoading());
  EXPECT_FALSE(device->loadedWithEnabled);
  EXPECT_EQ(device->format.sampleRate, 44100u);
  EXPECT_FALSE(device->FindProperty("Enabled")->IsDefault());
  EXPECT_EQ(std::get<int64_t>(device->GetPropertyValue("AudioFormat.SampleRate")), 44100);
  EXPECT_EQ(device->PathTo(&device->format), "AudioFormat");

  EXPECT_THROW(device->SetPropertyValue("Delay", 1.0), Exception);  // read-only
  EXPECT_THROW(device->SetPropertyValue("Nothing", 1.0), Exception);
  EXPECT_THROW(device->SetPropertyValue("AudioFormat", 1.0), Exception);
  EXPECT_THROW(device->SetPropertyValue("AudioFormat.SampleRate", std::string("x")), Exception);
  EXPECT_EQ(device->FindProperty("Enabled.Sub"), nullptr);
}

TEST(Component, DestroyingMarksTheWholeTree) {
  class TWatcher : public TComponent {
   public:
    TWatcher(TComponent* owner, TComponent* root, bool& sawDestroying)
        : TComponent(owner), root_(root), saw_(sawDestroying) {}
    ~TWatcher() override { saw_ = root_->IsDestroying() && IsDestroying(); }

   private:
    TComponent* root_;
    bool& saw_;
  };
  bool saw = false;
  {
    TForm form;
    new TWatcher(&form, &form, saw);
    EXPECT_FALSE(form.IsDestroying());
  }
  EXPECT_TRUE(saw);
}

}  // namespace
}  // namespace tardivox
