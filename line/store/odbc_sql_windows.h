// The ODBC headers of Windows, which need the Windows types first.
#pragma once

#include <windows.h>

#include <sql.h>
#include <sqlext.h>
