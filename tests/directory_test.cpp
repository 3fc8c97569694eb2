// Tests of directory decoding and file naming.
#include "directory.h"

#include <gtest/gtest.h>
