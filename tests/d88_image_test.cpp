// Tests of the D88 reader: disk table and sector access.
#include "d88_image.h"

#include <gtest/gtest.h>

#include "d88_builder.h"
#include "run_tool.h"
