/* zedid: turns a schematic host's intermediate netlist into a layout netlist.
 *
 * A host writes DESIGN.ONL, then calls ZedidDLL90 once per netlist. The call
 * reads the intermediate file, writes the layout netlist to the first output
 * file, sends every progress line, warning and error to the host's callback,
 * and returns one of the ZEDID_RESULT_ values. All storage of a call is
 * released before it returns, so the host may call again for another design.
 * One call at a time per process; the call runs on the caller's thread. */
#ifndef ZEDID_H
#define ZEDID_H

/* The one place that knows the library is a shared module: export linkage
 * and the calling convention of the export and of the callback. Both use the
 * platform's default convention for plain functions (the caller removes the
 * arguments). */
#if defined(_WIN32)
#  define ZEDID_CALL __cdecl
#  if defined(ZEDID_BUILDING)
#    define ZEDID_API __declspec(dllexport)
#  else
#    define ZEDID_API __declspec(dllimport)
#  endif
#else
#  define ZEDID_CALL
#  if defined(ZEDID_BUILDING)
#    define ZEDID_API __attribute__((visibility("default")))
#  else
#    define ZEDID_API
#  endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Receives one zero-terminated 8-bit message line per call. The text belongs
 * to the library and is valid only during the call; the result is ignored. */
typedef int (ZEDID_CALL *MessageCallback)(const char* text);

/* The netlist was written and no warning was given. */
#define ZEDID_RESULT_OK 0
/* The netlist was written, but a reference or net name had to be repaired or
 * passed unchanged; each case was reported as a "WARNING: " line. */
#define ZEDID_RESULT_WARNINGS 1
/* The run stopped at a numbered error message ("[FMT....]"); the first output
 * file is empty or incomplete. */
#define ZEDID_RESULT_ERRORS 2

/* Formats the design DESIGNBASEPATH.ONL into the file OUTPUTFILE.
 *   designbasepath  the design's path without ".ONL"
 *   outputfile      the layout netlist to create (emptied if it exists)
 *   secondfile      not used: this formatter writes one file; may be null
 *   hosttext        not used; may be null
 *   callback        receives the message lines; may be null to drop them
 *   module          the library's own module handle, through which message
 *                   texts are looked up; on platforms without string-table
 *                   resources it is not examined and may be null
 * The temporary file "ZEDID.TMP" is created in the current directory for the
 * duration of the call. */
ZEDID_API int ZEDID_CALL ZedidDLL90(const char* designbasepath,
                                    const char* outputfile,
                                    const char* secondfile,
                                    const char* hosttext,
                                    MessageCallback callback,
                                    void* module);

#ifdef __cplusplus
}
#endif

#endif /* ZEDID_H */
