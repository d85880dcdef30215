/* Errors of the array API, and the reference counting that every object of that API shares
 * (librtkkvn.so).
 *
 * No array function lets an exception out. A failing one records the calling thread's last
 * error, an error_info record, and returns its failure value (-1, NULL, false, ...). Since some
 * failure values are also valid results, a caller that must tell them apart asks
 * rtkcppErrorCheck. C hosts take the record with rtkcppGetLastError; C++ hosts call
 * koException::raise_error, which throws it as a koException.
 *
 * Reference counting: arrays, element references, lists, strings and error records all start
 * with a ref_count_obj. Every object a function returns as new carries one reference for the
 * caller, who gives it back with ref_count_obj_release; the object destroys itself when the last
 * reference goes. C code passes the other object types to the ref_count_obj functions with a
 * cast ((ref_count_obj*)record).
 *
 * Threads: the last error belongs to the calling thread; other threads never see it. Reference
 * counts change atomically, so references may be added and released on any thread. */
#ifndef RTKKVN_ERROR_H
#define RTKKVN_ERROR_H

#include <stddef.h>

#if defined(__GNUC__)
#define RTKKVN_EXPORT __attribute__((visibility("default")))
#else
#define RTKKVN_EXPORT
#endif

#ifdef __cplusplus
#include <exception>

/* The counted base of every object of the array API. The slot order (destructor, addref,
 * release) is part of the binary contract. */
class RTKKVN_EXPORT ref_count_obj {
 public:
  /* Runs when release drops the count to 0. May throw: release then reports the failure. */
  virtual ~ref_count_obj() noexcept(false) {}
  /* Adds one reference; returns the new count. */
  virtual int addref() = 0;
  /* Gives back one reference; returns the new count. At 0 the object destroys itself and 0 is
   * returned, or -1 (with the thread's last error set) when its destruction failed. */
  virtual int release() = 0;
};

/* An error record: a message and the lines of the Q-code stack where the error arose. */
class RTKKVN_EXPORT error_info : public ref_count_obj {
 public:
  /* The message, owned by the record; NULL when it is empty. */
  virtual const char* get_message() = 0;
  /* Stores the record's array of stack lines (NULL when there are none) in *lines and returns
   * how many there are. The lines stay owned by the record. lines may be NULL. */
  virtual size_t get_stack_trace(char*** lines) = 0;
};
#else
typedef struct ref_count_obj ref_count_obj;
typedef struct error_info error_info;
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A new record holding message (NULL gives "Unspecified error") with one reference for the
 * caller, stored in *out; returns 0. When memory runs out *out is NULL and 0 is still returned.
 * -1 (changing nothing) when out is NULL. */
RTKKVN_EXPORT int rtkcppCreateError(error_info** out, const char* message);
/* Makes a new record with message (NULL gives "Unspecified error") the calling thread's last
 * error, destroying the record it replaces. */
RTKKVN_EXPORT void rtkcppSetLastError(const char* message);
/* Moves the calling thread's last error into *out (NULL when none is pending) and clears it;
 * the caller owns one reference. Returns 0, or -1 (changing nothing) when out is NULL. */
RTKKVN_EXPORT int rtkcppGetLastError(error_info** out);
/* 1 when the calling thread has no pending last error, 0 when it has one. */
RTKKVN_EXPORT int rtkcppErrorCheck(void);
/* Frees a string that this library handed to the caller to free (NULL is ignored). */
RTKKVN_EXPORT void rtkcppFreeString(void* text);
/* The record's message (see error_info::get_message). */
RTKKVN_EXPORT const char* error_info_get_message(error_info* record);
/* The record's stack lines (see error_info::get_stack_trace). */
RTKKVN_EXPORT size_t error_info_get_stack_trace(error_info* record, char*** lines);
/* Add or give back one reference of any object of the array API (see ref_count_obj). */
RTKKVN_EXPORT int ref_count_obj_addref(ref_count_obj* object);
RTKKVN_EXPORT int ref_count_obj_release(ref_count_obj* object);

#ifdef __cplusplus
} /* extern "C" */

/* The exception the array API's failures travel as. It holds one reference to an error_info
 * record; copies share the record. what() is the record's message: NULL when the message is
 * empty or no record could be made (when memory runs out). */
class RTKKVN_EXPORT koException : public std::exception {
 public:
  /* "Unspecified error". */
  koException();
  /* The text; NULL gives "Unspecified error". */
  explicit koException(const char* message);
  koException(const koException& other);
  /* Shares record, adding a reference; NULL gives a new "Unspecified error" record. */
  explicit koException(error_info* record);
  /* Takes record over, adding a reference only when addReference is true (false: the caller's
   * reference passes to the exception); NULL gives a new "Unspecified error" record. */
  koException(error_info* record, bool addReference);
  /* The other exception's what() text. */
  explicit koException(const std::exception& other);
  ~koException() override;

  koException& operator=(const koException& other);
  koException& operator=(const std::exception& other);

  const char* what() const noexcept override;

  /* Throws the calling thread's last error as a koException (and clears it); throws
   * "Unspecified error" when none is pending. */
  [[noreturn]] static void raise_error();
  /* Throws the calling thread's last error, as raise_error does, when one is pending; returns
   * when none is. */
  static void check_raise_error();

  /* Writes "... Sorvel Q-code Stack Trace ..." and the record's stack lines to standard error,
   * each on a line of its own; nothing when the record has no stack lines. */
  void print_stack_trace() const;

 private:
  /* The record's stack lines (owned by the record); 0 when there is no record. */
  size_t get_stack_trace(char*** lines) const;

  error_info* record_;
};
#endif /* __cplusplus */

#endif /* RTKKVN_ERROR_H */
