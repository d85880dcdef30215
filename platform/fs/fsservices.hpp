#pragma once
// The file services in one include: path strings, the file-system seam and its errors,
// directory locks, file scans, whole-tree operations, module paths, the clean-up guard and the
// logger.

#include "fs/cleanup_guard.hpp"
#include "fs/directory_lock.hpp"
#include "fs/errors.hpp"
#include "fs/file_operations.hpp"
#include "fs/file_scan.hpp"
#include "fs/file_system.hpp"
#include "fs/logger.hpp"
#include "fs/module_path.hpp"
#include "fs/path_string.hpp"
