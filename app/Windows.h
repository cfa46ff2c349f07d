#pragma once
// The eight windows besides the main one, as the main window opens them. Each is created
// once at start-up with its caption, size and place; their controls and behaviour come
// with their own modules.
#include "framework/Form.h"

namespace lv {

class TfrmFriend : public TForm {
  public:
    TfrmFriend();
    ~TfrmFriend() override { DestroyHandle(); }
};

class TfrmSend : public TForm {
  public:
    TfrmSend();
    ~TfrmSend() override { DestroyHandle(); }
};

class TfrmTempSend : public TForm {
  public:
    TfrmTempSend();
    ~TfrmTempSend() override { DestroyHandle(); }
};

class TfrmSet : public TForm {
  public:
    TfrmSet();
    ~TfrmSet() override { DestroyHandle(); }
};

class TfrmAbout : public TForm {
  public:
    TfrmAbout();
    ~TfrmAbout() override { DestroyHandle(); }
};

class TfrmHelp : public TForm {
  public:
    TfrmHelp();
    ~TfrmHelp() override { DestroyHandle(); }
};

class TfrmReceive : public TForm {
  public:
    TfrmReceive();
    ~TfrmReceive() override { DestroyHandle(); }
};

class TfrmHistory : public TForm {
  public:
    TfrmHistory();
    ~TfrmHistory() override { DestroyHandle(); }
};

} // namespace lv
