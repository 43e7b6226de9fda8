// The main window's stored layout: the chain it builds, its settings and its round trip.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <QWidget>

#include "app/ControlComponent.h"
#include "app/ControlComponents.h"
#include "app/MainComponents.h"
#include "app/SpinEdit.h"
#include "audio/AudioIn.h"
#include "audio/AudioOut.h"
#include "audio/VirtualWaveService.h"
#include "audio/WaveService.h"
#include "layout/LayoutReader.h"
#include "layout/LayoutWriter.h"
#include "pins/PinNames.h"
#include "pins/UnloadedPin.h"
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

void ExpectChain(TMainWindowComponents& window) {
  TALAudioIn& in = window.ALAudioIn1();
  TALDelayLine& delay = window.ALDelayLine1();
  TALAudioOut& out = window.ALAudioOut1();
  EXPECT_EQ(in.OutputPin().SinkCount(), 1);
  EXPECT_TRUE(in.OutputPin().IsConnectedTo(&delay.InputPin()));
  EXPECT_EQ(delay.InputPin().SourcePin(), &in.OutputPin());
  EXPECT_EQ(delay.OutputPin().SinkCount(), 1);
  EXPECT_EQ(out.InputPin().SourcePin(), &delay.OutputPin());
  EXPECT_TRUE(TOWUnloadedPin::All().empty());
}

TEST_F(MainLayoutTest, BuildsTheDisabledChainWithItsStoredSettings) {
  TMainWindowComponents window;
  EXPECT_EQ(window.Name(), "fmMain");
  ASSERT_EQ(window.ComponentCount(), 23) << "20 controls and the 3 chain components";
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
  ExpectChain(window);
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
  ExpectChain(window);
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
  EXPECT_EQ(inHistory, 2);
  auto* seconds = window.ControlWidget<TSpinEdit>("edDelaySec");
  EXPECT_EQ(seconds->FloatMinValue(), 0.01L) << "the stored 0.01 is the decimal 0.01";
  EXPECT_EQ(seconds->Increment(), 0.1L);
  EXPECT_THROW(window.ControlWidget<TSpinEdit>("lstInDevices"), Exception) << "wrong kind";
  EXPECT_THROW(window.ControlWidget<QWidget>("ALDelayLine1"), Exception) << "not a control";
}

TEST_F(MainLayoutTest, ControlSettingsOutOfTheirDomainNameTheirLine) {
  const std::string chain = R"(
  object ALAudioIn1: TALAudioIn
  end
  object ALDelayLine1: TALDelayLine
  end
  object ALAudioOut1: TALAudioOut
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

// A history strip as a layout holds it: created by class name inside the history panel, its
// settings set by path, its input pin named after the control.
TEST_F(MainLayoutTest, AWaterfallIsCreatedInItsPanelWithItsStoredSettings) {
  std::string text(TMainWindowComponents::MainWindowLayout());
  const std::string anchor = "    object VrLabel1: TRotatedLabel\n";
  const size_t at = text.find(anchor);
  ASSERT_NE(at, std::string::npos);
  text.insert(at,
              "    object SLWaterfall1: TSLWaterfall\n"
              "      Left = 24\n"
              "      Top = 32\n"
              "      Width = 401\n"
              "      Height = 57\n"
              "      ToolBar.Visible = False\n"
              "      Zooming.MouseZoom = False\n"
              "      Title.Visible = False\n"
              "      XAxis.Visible = False\n"
              "      XAxis.MaxTick.Value = 1024\n"
              "      YAxis.TicksMode = atmAuto\n"
              "      Highlighting.MouseHitPoint.PointLabel.Visible = False\n"
              "      Levels.Visible = False\n"
              "      Levels.Axis.Logarithmic = False\n"
              "    end\n");
  TMainWindowComponents window(text);
  auto* control = dynamic_cast<TSLWaterfallControl*>(window.FindComponent("SLWaterfall1"));
  ASSERT_NE(control, nullptr);
  TSLWaterfall& waterfall = control->Control();
  EXPECT_EQ(control->ParentComponent(), window.FindComponent("pnlInOut"));
  EXPECT_EQ(waterfall.geometry(), QRect(24, 32, 401, 57));
  EXPECT_FALSE(waterfall.ToolBar().Visible());
  EXPECT_FALSE(waterfall.Zooming().MouseZoom());
  EXPECT_FALSE(waterfall.Title().Visible());
  EXPECT_FALSE(waterfall.Levels().Visible());
  EXPECT_EQ(waterfall.XAxis().Samples(), 512);
  EXPECT_EQ(InternalFullName(waterfall.InputPin(), true), "fmMain.SLWaterfall1.InputPin");
  // Written back, the layout records what differs from the defaults and nothing else.
  const std::string written = WriteLayout(window);
  EXPECT_NE(written.find("Levels.Visible = False"), std::string::npos);
  EXPECT_EQ(written.find("XAxis.Samples"), std::string::npos);
}

}  // namespace
}  // namespace tardivox
