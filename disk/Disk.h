// Chief header of disk access: the reader and the volume record.
#pragma once

#include "disk/Reader.h"
#include "disk/VolumeEntry.h"
