// The program's only top-level window and the target of every command.
// (Contract between the window and start-up; the window's author completes it.)
#pragma once

#include <fox-1.6/fx.h>

class X_SRV_K_Window : public FX::FXMainWindow {
  FXDECLARE(X_SRV_K_Window)

 protected:
  X_SRV_K_Window() {}

 public:
  explicit X_SRV_K_Window(FX::FXApp* app);
  virtual ~X_SRV_K_Window();
  virtual void create();

  // Settings values, each bound to its settings-page widget by a data target.
  FX::FXString comPort;       // "com3"
  FX::FXString language;      // "ENGLISH en" until start-up sets it
  FX::FXint flashDelay = 3;
  FX::FXint sysfontDelay = 6;

  // Start-up hooks.
  void hideStartupTabs(bool show_console);  // channels and FM Radio always hidden
  void setPortLamp(bool open);              // black lamp / green lamp
  FX::FXComboBox* slaveAdrCombo = nullptr;  // filled from h_tvbox.cfg
  FX::FXComboBox* cmdCombo = nullptr;
  FX::FXComboBox* adrCombo = nullptr;
  FX::FXComboBox* dataCombo = nullptr;

  // The port poll timer (ID 72), removed while something else talks to the box.
  void addPollTimer();
  void removePollTimer();
};
