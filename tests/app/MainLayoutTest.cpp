// The main window's stored layout: the chain it builds, its settings and its round trip.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <QWidget>

#include "app/ControlComponent.h"
#include "app/ControlComponents.h"
#include "app/MainComponents.h"
#include "app/SpinEdit.h"
#include "app/frmMain.h"
#include "audio/AudioIn.h"
#include "audio/AudioOut.h"
#include "audio/VirtualWaveService.h"
#include "audio/WaveService.h"
#include "display/Waterfall.h"
#include "layout/LayoutReader.h"
#include "layout/LayoutWriter.h"
#include "pins/UnloadedPin.h"
#include "processing/Add.h"
#include "processing/AudioToReal.h"
#include "processing/DelayLine.h"
#include "support/CorruptedText.h"

namespace tardivox {
namespace {

class MainLayoutTest : public ::testing::Test {
 protected:
  MainLayoutTest() { previous_ = SetCurrentWaveService(&service_); }
  ~MainLayoutTest() override {
    SetCurrentWaveService(previous_);
    TOWUnloadedPin::DropUnused();
  }

  TALVirtualWaveService service_;
  IALWaveService* previous_ = nullptr;
};

// The chain and the monitoring branch, connected as the window holds them whatever the order
// the components were read in.
void ExpectGraph(TMainWindowComponents& window) {
  TALAudioIn& in = window.ALAudioIn1();
  TALDelayLine& delay = window.ALDelayLine1();
  TALAudioOut& out = window.ALAudioOut1();
  EXPECT_EQ(in.OutputPin().SinkCount(), 2);
  EXPECT_TRUE(in.OutputPin().IsConnectedTo(&delay.InputPin()));
  EXPECT_EQ(delay.InputPin().SourcePin(), &in.OutputPin());
  EXPECT_EQ(delay.OutputPin().SinkCount(), 2);
  EXPECT_EQ(out.InputPin().SourcePin(), &delay.OutputPin());
  // Each splitter's channel i feeds input i of its adder.
  const struct {
    TALAudioToReal& splitter;
    TOWBasicPin& feed;
    TSLAdd& adder;
  } branches[] = {{window.ALAudioToReal1(), in.OutputPin(), window.SLAdd1()},
                  {window.ALAudioToReal2(), delay.OutputPin(), window.SLAdd2()}};
  for (const auto& branch : branches) {
    SCOPED_TRACE(branch.splitter.Name());
    EXPECT_EQ(branch.splitter.InputPin().SourcePin(), &branch.feed);
    ASSERT_EQ(branch.splitter.OutputPins().Count(), 2);
    ASSERT_EQ(branch.adder.InputPins().Count(), 2);
    for (int i = 0; i < 2; ++i) {
      auto* input = dynamic_cast<TOWSinkPin*>(branch.adder.InputPins().Items(i));
      ASSERT_NE(input, nullptr);
      EXPECT_EQ(input->SourcePin(), branch.splitter.OutputPins().Items(i)) << "channel " << i;
    }
    EXPECT_EQ(branch.adder.BufferSize(), 1024);
  }
  // Each adder's sum feeds its strip.
  EXPECT_EQ(window.SLWaterfall1().InputPin().SourcePin(), &window.SLAdd1().OutputPin());
  EXPECT_EQ(window.SLWaterfall2().InputPin().SourcePin(), &window.SLAdd2().OutputPin());
  EXPECT_EQ(window.SLAdd1().OutputPin().SinkCount(), 1);
  EXPECT_EQ(window.SLAdd2().OutputPin().SinkCount(), 1);
  EXPECT_TRUE(TOWUnloadedPin::All().empty());
}

TEST_F(MainLayoutTest, BuildsTheDisabledChainWithItsStoredSettings) {
  TMainWindowComponents window;
  EXPECT_EQ(window.Name(), "fmMain");
  ASSERT_EQ(window.ComponentCount(), 29)
      << "20 controls, 2 strips, 3 chain components, 2 splitters, 2 adders";
  EXPECT_FALSE(window.ALAudioIn1().Enabled());
  EXPECT_FALSE(window.ALDelayLine1().Enabled());
  EXPECT_FALSE(window.ALAudioOut1().Enabled());
  EXPECT_EQ(window.ALDelayLine1().Delay(), 50000u);
  EXPECT_EQ(window.ALAudioIn1().GetPropertyValue("AudioFormat.SampleRate"),
            TPropertyValue(int64_t{44100}));
  EXPECT_EQ(window.ALAudioIn1().GetPropertyValue("AudioFormat.BufferSize"),
            TPropertyValue(int64_t{512}));
  EXPECT_EQ(window.ALAudioIn1().PumpPriority(), 0);
  EXPECT_EQ(window.ALAudioIn1().GetPropertyValue("Device.DeviceName"),
            TPropertyValue(std::string("Default")));
  EXPECT_EQ(window.ALAudioOut1().GetPropertyValue("Device.DeviceName"),
            TPropertyValue(std::string("Default")));
  ExpectGraph(window);
}

TEST_F(MainLayoutTest, WritingTheLoadedWindowGivesTheCompiledLayout) {
  TMainWindowComponents window;
  const std::string compiled(TMainWindowComponents::MainWindowLayout());
  EXPECT_EQ(WriteStoredForm(ParseStoredForm(compiled)), compiled) << "not in canonical form";
  EXPECT_EQ(WriteLayout(window), compiled);
}

TEST_F(MainLayoutTest, ComponentsReadInReverseOrderConnectTheSame) {
  TStoredObject layout = ParseStoredForm(TMainWindowComponents::MainWindowLayout());
  std::reverse(layout.children.begin(), layout.children.end());
  TMainWindowComponents window(WriteStoredForm(layout));
  ExpectGraph(window);
}

TEST_F(MainLayoutTest, ControlsArePlacedInTheirPanelsAndTheWindowTakesItsFrame) {
  TMainWindowComponents window;
  QWidget& frame = window.Window();
  EXPECT_EQ(frame.objectName(), QStringLiteral("fmMain"));
  EXPECT_EQ(frame.windowTitle(), QStringLiteral("Tardivox"));
  EXPECT_EQ(frame.minimumSize(), QSize(441, 364));
  EXPECT_EQ(frame.maximumSize(), QSize(441, 364));
  EXPECT_FALSE(frame.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(frame.font().pixelSize(), 11);

  auto* settings = window.FindComponent("pnlAudioRec1");
  auto* history = window.FindComponent("pnlInOut");
  ASSERT_NE(settings, nullptr);
  ASSERT_NE(history, nullptr);
  EXPECT_EQ(settings->ParentComponent(), nullptr);
  int inSettings = 0;
  int inHistory = 0;
  for (int i = 0; i < window.ComponentCount(); ++i) {
    TComponent* c = window.Components(i);
    if (c->ParentComponent() == settings) ++inSettings;
    if (c->ParentComponent() == history) ++inHistory;
    if (auto* control = dynamic_cast<TControlComponent*>(c)) {
      SCOPED_TRACE(c->Name());
      EXPECT_EQ(control->Widget()->objectName().toStdString(), c->Name());
      QWidget* expectedParent =
          c->ParentComponent() ? dynamic_cast<TControlComponent*>(c->ParentComponent())->Widget()
                               : &frame;
      EXPECT_EQ(control->Widget()->parentWidget(), expectedParent);
    }
  }
  EXPECT_EQ(inSettings, 16);
  EXPECT_EQ(inHistory, 4) << "two rotated labels, two strips";
  auto* seconds = window.ControlWidget<TSpinEdit>("edDelaySec");
  EXPECT_EQ(seconds->FloatMinValue(), 0.01L) << "the stored 0.01 is the decimal 0.01";
  EXPECT_EQ(seconds->Increment(), 0.1L);
  EXPECT_THROW(window.ControlWidget<TSpinEdit>("lstInDevices"), Exception) << "wrong kind";
  EXPECT_THROW(window.ControlWidget<QWidget>("ALDelayLine1"), Exception) << "not a control";
}

// Both strips are bare: only the history image, no title, axes, level bar, tool bar, point
// label nor zoom, at 401 × 57 in the history panel.
TEST_F(MainLayoutTest, StripsAreBareHistoriesBesideTheirLabels) {
  TMainWindowComponents window;
  const struct {
    const char* path;
    TPropertyValue value;
  } settings[] = {
      {"Left", int64_t{24}},
      {"Width", int64_t{401}},
      {"Height", int64_t{57}},
      {"Color", int64_t{0}},
      {"ToolBar.Visible", false},
      {"Zooming.MouseZoom", false},
      {"Zooming.KeyboardZoom", false},
      {"Zooming.MouseWheelEnabled", false},
      {"Title.Visible", false},
      {"XAxis.Visible", false},
      {"XAxis.Samples", int64_t{512}},
      {"XAxis.MinTick.Value", 0.0},
      {"XAxis.MaxTick.Value", 1024.0},
      {"YAxis.Visible", false},
      {"YAxis.MinTick", 0.0},
      {"YAxis.MaxTick", 500.0},
      {"Highlighting.MouseHitPoint.PointLabel.Visible", false},
      {"Levels.Visible", false},
      {"Levels.GrayScale", false},
      {"Levels.Axis.Logarithmic", false},
      {"Levels.Axis.Min", int64_t{0}},
  };
  const struct {
    const char* name;
    int64_t top;
    int64_t tabOrder;
    QRect geometry;
  } strips[] = {{"SLWaterfall1", 32, 0, TfmMain::kInputStripGeometry},
                {"SLWaterfall2", 96, 1, TfmMain::kOutputStripGeometry}};
  for (const auto& strip : strips) {
    SCOPED_TRACE(strip.name);
    auto* control = dynamic_cast<TControlComponent*>(window.FindComponent(strip.name));
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->ParentComponent(), window.FindComponent("pnlInOut"));
    EXPECT_EQ(control->Widget()->geometry(), strip.geometry);
    EXPECT_EQ(control->GetPropertyValue("Top"), TPropertyValue(strip.top));
    EXPECT_EQ(control->GetPropertyValue("TabOrder"), TPropertyValue(strip.tabOrder));
    for (const auto& setting : settings) {
      EXPECT_EQ(control->GetPropertyValue(setting.path), setting.value) << setting.path;
    }
    auto& waterfall = *window.ControlWidget<TSLWaterfall>(strip.name);
    EXPECT_EQ(waterfall.MarkerGroups().Count(), 0);
    EXPECT_EQ(waterfall.Levels().Colors().Count(), 0);
  }
}

TEST_F(MainLayoutTest, ControlSettingsOutOfTheirDomainNameTheirLine) {
  const std::string chain = R"(
  object ALAudioIn1: TALAudioIn
  end
  object ALDelayLine1: TALDelayLine
  end
  object ALAudioOut1: TALAudioOut
  end
  object ALAudioToReal1: TALAudioToReal
  end
  object ALAudioToReal2: TALAudioToReal
  end
  object SLAdd1: TSLAdd
  end
  object SLAdd2: TSLAdd
  end
  object SLWaterfall1: TSLWaterfall
  end
  object SLWaterfall2: TSLWaterfall
  end
end
)";
  struct {
    const char* what;
    const char* controls;
    int line;
    const char* message;
  } const cases[] = {
      {"colour", "  object L1: TDropDownList\n    Color = 'blue'\n  end", 3, "Invalid colour"},
      {"value type", "  object E1: TSpinEdit\n    ValueType = vtText\n  end", 3,
       "Unknown value type vtText"},
      {"font style", "  object L1: TLabel\n    Font.Style = [fsShadow]\n  end", 3,
       "Unknown font style fsShadow"},
      {"border icon", "  BorderIcons = [biHelp]", 2, "Unknown border icon biHelp"},
      {"border style", "  BorderStyle = bsToolWindow", 2, "Unknown border style"},
      {"control in a label", "  object L1: TLabel\n    object L2: TLabel\n    end\n  end", 3,
       "L2 cannot be placed in L1"},
      {"chain component in a panel",
       "  object P1: TGradientToolPanel\n    object D1: TALDelayLine\n    end\n  end", 3,
       "D1 cannot be placed in P1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string text = std::string("object fmMain: TfmMain\n") + c.controls + chain;
    try {
      TMainWindowComponents window(text);
      ADD_FAILURE() << "no error";
    } catch (const EStoredFormError& e) {
      EXPECT_EQ(e.Line(), c.line) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
  // Numbers beyond a control's range are brought into it.
  TMainWindowComponents clamped(
      "object fmMain: TfmMain\n  object E1: TSpinEdit\n    Width = 99999999999\n"
      "    Decimals = 40\n    MaxValue = 9999999999\n  end" +
      chain);
  auto* box = clamped.ControlWidget<TSpinEdit>("E1");
  EXPECT_EQ(box->width(), 32767);
  EXPECT_EQ(box->Decimals(), 15);
  EXPECT_EQ(box->MaxValue(), INT32_MAX);
  // An active control that names no control is refused once everything is read.
  EXPECT_THROW(TMainWindowComponents("object fmMain: TfmMain\n  ActiveControl = lstNone" + chain),
               Exception);
}

TEST_F(MainLayoutTest, RandomlyCorruptedWindowLayoutsFailCleanly) {
  const std::string original(TMainWindowComponents::MainWindowLayout());
  const testing::TCorruptionRuns result = testing::RunCorrupted(
      original,
      [](const std::string& text) {
        try {
          TMainWindowComponents window(text);
          WriteLayout(window);
          return false;
        } catch (const EStoredFormError& e) {
          EXPECT_GT(e.Line(), 0) << e.what();
        } catch (const Exception&) {
          // A layout without the chain or with an unknown active control is not this window's.
        }
        TOWUnloadedPin::DropUnused();
        return true;
      },
      500);
  EXPECT_GT(result.runs, 50);
  EXPECT_GT(result.refused, 0);
}

TEST_F(MainLayoutTest, ALayoutWithoutTheChainIsRefused) {
  EXPECT_THROW(TMainWindowComponents("object fmMain: TfmMain\nend\n"), Exception);
}

}  // namespace
}  // namespace tardivox
