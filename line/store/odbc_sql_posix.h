// The ODBC headers of unixODBC.
#pragma once

#include <sql.h>
#include <sqlext.h>
