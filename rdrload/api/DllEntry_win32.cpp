// The DLL's entry point: the library has no state to set up or tear down
// (the port lock is created by the first port opening).

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
