// The callbacks the engine hands to the system cabinet library, and the exception
// they keep: no C++ exception ever unwinds through the library's frames.
#pragma once
#include <cstddef>
#include "k4cabstructs.h"

// Memory, file and notification callbacks, with the SDK's signatures and calling
// convention. Each one catches everything, keeps the first exception and returns the
// failure value the library documents, so that the library stops the copy.
void* DIAMONDAPI CabAlloc(ULONG cb) noexcept;
void DIAMONDAPI CabFree(void* pv) noexcept;
INT_PTR DIAMONDAPI CabOpen(char* pszFile, int oflag, int pmode) noexcept;
UINT DIAMONDAPI CabRead(INT_PTR hf, void* pv, UINT cb) noexcept;
UINT DIAMONDAPI CabWrite(INT_PTR hf, void* pv, UINT cb) noexcept;
int DIAMONDAPI CabClose(INT_PTR hf) noexcept;
LONG DIAMONDAPI CabSeek(INT_PTR hf, LONG dist, int seektype) noexcept;
INT_PTR DIAMONDAPI CabNotify(FDINOTIFICATIONTYPE fdint, PFDINOTIFICATION pfdin) noexcept;

// The exception a callback caught and kept while the library ran.
void ForgetCabException() noexcept;
bool CabExceptionPending() noexcept;
// Throws the kept exception (and forgets it); does nothing when none is kept.
void RethrowCabException();
