#pragma once
// The extracted-component factory that goes through the per-user component cache: components
// are unpacked once into the cache and shared by every later start, in this and other processes
// of the user (see component_cache.hpp for the cache object and its locks).

#include "rtkkvn/components/ctf_extractor.hpp"
#include "rtkkvn/components/extracted_component.hpp"
#include "rtkkvn/export.hpp"

// A factory holding a copy of extractor. Nothing happens until it is called; each call takes the
// process-wide cache object (componentCache(), made on the first call) and returns its record for
// the extractor's component, unpacking the archive into the cache when no finished extraction is
// there. The record belongs to the caller; while it lives it holds a read lock on its folder, so
// no maintenance of any process deletes the folder, and when it goes the component is returned
// to the cache. Every failure is thrown as rtkUserException "RTK:ComponentCache": with
// RTKKVN_CACHE_DIR_NOT_FOUND(<text of the file error>) when a folder is missing, with
// RTKKVN_CACHE_ACCESS_ERROR otherwise (a failed extraction, a refused cache folder, ...); the
// cache log says what happened.
RTKKVN_EXPORT rtkExtractedComponentFactory
rtkMakeComponentCacheExtractedComponentFactory(const rtkkvn::CtfExtractor& extractor);
