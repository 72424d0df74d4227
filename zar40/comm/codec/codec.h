#pragma once
// Everything of the device protocol that is pure computation.
#include "crc8.h"
#include "message.h"
#include "request_codes.h"
#include "values.h"
