#include <gtest/gtest.h>

#include <thread>

#include "base/Exception.h"
#include "platform/Application.h"
#include "tests/support/TestApplication.h"

TEST(ApplicationTest, DefaultsNeverAskAnyoneAndAnswerTheCautiousButton) {
  TApplication app;
  app.SetTitle("Zelmirt Program");
  EXPECT_EQ(app.Title(), "Zelmirt Program");

  struct TCase {
    TMsgDlgButtons Buttons;
    TModalResult Answer;
  };
  using enum TMsgDlgBtn;
  for (const TCase& c : {TCase{{mbYes, mbNo}, TModalResult::mrNo}, TCase{{mbYes, mbNo, mbCancel}, TModalResult::mrNo},
                         TCase{{mbOK, mbCancel}, TModalResult::mrCancel}, TCase{{mbOK}, TModalResult::mrOk},
                         TCase{{}, TModalResult::mrOk}}) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(app.MessageBox("Close anyway?", TMsgDlgType::mtConfirmation, c.Buttons), c.Answer) << c.Buttons.Bits();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Close anyway?\n");
  }

  testing::internal::CaptureStderr();
  app.HandleException(Exception("Unable to write to x.INI"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Exception: Unable to write to x.INI\n");

  TOpenDialogSettings dialog;
  dialog.FileName = "before.hex";
  EXPECT_FALSE(app.ExecuteOpenDialog(dialog));
  EXPECT_EQ(dialog.FileName, "before.hex");
}

TEST(ApplicationTest, TheInstalledObjectIsSeenEverywhereAndRestoredInOrder) {
  ASSERT_EQ(&Application(), &TestApplication());
  TApplication outer;
  {
    TScopedApplication installOuter(outer);
    TApplication inner;
    {
      TScopedApplication installInner(inner);
      EXPECT_EQ(&Application(), &inner);
      TApplication* seenByWorker = nullptr;
      std::thread([&] { seenByWorker = &Application(); }).join();
      EXPECT_EQ(seenByWorker, &inner);
    }
    EXPECT_EQ(&Application(), &outer);
  }
  EXPECT_EQ(&Application(), &TestApplication());
}
