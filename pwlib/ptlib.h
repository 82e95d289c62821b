// The whole portable library core in one include.
#pragma once

#include <pwlib/parray.h>
#include <pwlib/passert.h>
#include <pwlib/pchannel.h>
#include <pwlib/pipsocket.h>
#include <pwlib/pmutex.h>
#include <pwlib/pobject.h>
#include <pwlib/pprocess.h>
#include <pwlib/psemaphore.h>
#include <pwlib/psocket.h>
#include <pwlib/pstring.h>
#include <pwlib/pstringarray.h>
#include <pwlib/psync.h>
#include <pwlib/psyncpoint.h>
#include <pwlib/ptcpsocket.h>
#include <pwlib/pthread.h>
#include <pwlib/ptime.h>
#include <pwlib/ptimeint.h>
#include <pwlib/ptimer.h>
#include <pwlib/ptrace.h>
#include <pwlib/ptypes.h>
#include <pwlib/pudpsocket.h>
#include <pwlib/waitpump.h>
