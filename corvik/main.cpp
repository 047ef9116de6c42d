// Corvik's entry point and its process-wide objects; everything runs in the application object.
#include <windows.h>

#include "corvik/Corvik.h"
#include "corvik/CorvikApp.h"

// Constructed in this order before instance initialisation: the job's option defaults are
// taken at program start.
CSecureDelete g_secureDelete;
CCorvikApp g_corvikApp;
CEncryptInfo g_job;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    return g_corvikApp.Main(instance, showCommand);
}
