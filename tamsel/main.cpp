// Tamsel's entry point and its process-wide objects; everything runs in the application object.
#include <windows.h>

#include "tamsel/Tamsel.h"
#include "tamsel/TamselApp.h"

CSecureDelete g_secureDelete;
CTamselApp g_tamselApp;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    return g_tamselApp.Main(instance, showCommand);
}
