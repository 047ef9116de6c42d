// Corvik's application object: reads the command line and shows the encryption dialog for
// the one path it names; the process ends when that dialog closes.
#pragma once
#include "framework/Application.h"

class CCorvikApp : public fw::Application {
protected:
    // Always false: the program ends right after, with no message loop.
    bool InitInstance() override;
};
