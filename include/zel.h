/*
 * zel: file input and output for fatigue and durability software.
 *
 * This is the one public header of the library. It declares every exported
 * function (plain C linkage, unmangled names) and, for C++ callers, the
 * exported RPC III classes. It compiles as C99 and as C++17.
 *
 * Conventions shared by every family:
 *  - status codes are ints, 0 for success; each family has its own message
 *    table (zel_rpc_geterror, zel_dac_geterror);
 *  - channel numbers count from 1;
 *  - RPC III texts are held in 96-byte buffers (95 characters and a NUL);
 *  - no function throws, prints or logs, except zel_version, which prints
 *    the build identification on standard output.
 */
#ifndef ZEL_H
#define ZEL_H

#include <stddef.h>
#include <stdint.h>

/* One macro marks the public API; everything else is hidden. */
#if defined(_WIN32) || defined(__CYGWIN__)
# if defined(ZEL_BUILDING)
#  define ZEL_API __declspec(dllexport)
# elif defined(ZEL_STATIC)
#  define ZEL_API
# else
#  define ZEL_API __declspec(dllimport)
# endif
#else
# define ZEL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ======================================================================
 * RPC III time-history files
 * ====================================================================== */

/* Status codes of the RPC III family (messages via zel_rpc_geterror). */
enum {
  ZEL_RPC_OK = 0,             /* "No error" */
  ZEL_RPC_OPEN_FAILED = 1,    /* "RPC file could not be opened." */
  ZEL_RPC_NOT_RPC = 2,        /* "File is not a valid RPC III time history file." */
  ZEL_RPC_BAD_HANDLE = 3,     /* "Invalid handle to RPC file." */
  ZEL_RPC_NO_DATA = 4,        /* "RPC file contains no time history data." */
  ZEL_RPC_BAD_HEADER = 5,     /* "Error reading RPC file header record." */
  ZEL_RPC_SIZE_MISMATCH = 6,  /* "RPC file header is not compatible with file size." */
  ZEL_RPC_BLOCK_RANGE = 7,    /* "RPC file block pointer out of range." */
  ZEL_RPC_CREATE_FAILED = 8,  /* "Can not create RPC file. Check path and permissions." */
  ZEL_RPC_CHANNEL_RANGE = 9,  /* "RPC file channel number out of range. Data not processed." */
  ZEL_RPC_OUT_OF_MEMORY = 10, /* "Ran out of memory during RPC file output operation." */
  ZEL_RPC_WRITE_FAILED = 11   /* "Error writing RPC file." */
};

/* 1 when the file's first three header records make it an RPC III file. */
ZEL_API int zel_rpc_sniff(const char *name);

/* Opens a file for reading. channels, points, dt and status must not be
 * null; date (96 bytes) may be. Returns a handle that must be released with
 * zel_rpc_readclose whenever it is not null, also after a non-zero status. */
ZEL_API void *zel_rpc_open(const char *name, int *channels, int *points, double *dt, char *date,
                           int *status);

/* Description and unit (96 bytes each, either may be null). 0, 9 or 3. */
ZEL_API int zel_rpc_attributes(void *handle, int channel, char *description, char *units);

/* Next count points of a channel from its read cursor; returns how many
 * were delivered (0 for a null handle or a channel out of range). Values
 * the file could not supply (points past the last one, a file cut short)
 * are 0.0. */
ZEL_API int zel_rpc_getnpts(void *handle, int channel, int count, double *values);

/* Window of 2 * halfWidth + 1 points around time (held values beyond the
 * ends). times and values hold 2 * halfWidth + 1 doubles. 0, 9 or 3.
 * Values the file could not supply are 0.0. */
ZEL_API int zel_rpc_getwindow(void *handle, int channel, double time, int halfWidth, double *times,
                              double *values);

/* Samples per channel that hold data: the count the file records
 * (KIVOR_STEPS, as this library writes it) when it lies between 1 and the
 * points per channel, else the points per channel (whole frames). 0 for a
 * null handle or a refused file. */
ZEL_API int zel_rpc_samples(void *handle);

/* Header record index (1 to NUM_PARAMS, in file order) as its keyword (32
 * bytes) and value (96 bytes) texts, blanks at the end removed; either may
 * be null. 0, 9 (index out of range, or a file whose header was refused)
 * or 3 (null handle). */
ZEL_API int zel_rpc_record(void *handle, int index, char *keyword, char *value);

/* count points of a channel from point first (counted from 0), wherever
 * they lie, without moving the channel's read cursor: a window reads only
 * the blocks it needs. 0; 9 for a channel out of range, first or count
 * below 0, first + count beyond the points per channel or a null values
 * with count above 0; 3 for a null handle. Values the file could not supply
 * (a file cut short) are 0.0. */
ZEL_API int zel_rpc_getrange(void *handle, int channel, int first, int count, double *values);

/* Releases a read handle. 0, or 3 for a null handle. */
ZEL_API int zel_rpc_readclose(void *handle);

/* One-shot read of a whole channel: call once with values null to learn
 * *points, then again with room for *points doubles. Values the file could
 * not supply are 0.0. */
ZEL_API int zel_rpc_data(const char *name, int channel, int *points, double *dt, double *values);

/* Creates a file of channels x points samples at interval dt. Null with
 * *status 8 when the file cannot be created, or 11 when it could not be
 * given its full size (disk full, file-size limit: nothing is left behind);
 * a handle otherwise (*status 0, or 10 when memory ran out). */
ZEL_API void *zel_rpc_create(const char *name, int channels, int points, double dt, int *status);

/* Value types and 16-bit conversions of zel_rpc_create_as. */
enum {
  ZEL_RPC_INT16 = 0,        /* scaled 16-bit integers ("SHORT_INTEGER") */
  ZEL_RPC_FLOAT32 = 1,      /* 32-bit floats ("FLOATING_POINT") */
  ZEL_RPC_TRUNCATE = 0,     /* 16-bit: quotient truncated towards zero */
  ZEL_RPC_ROUND_NEAREST = 1 /* 16-bit: quotient rounded to nearest, ties away from zero */
};

/* zel_rpc_create with the value type and the 16-bit conversion given
 * explicitly (QEN_KZEL_RPC_FLOAT is not read; QEN_ZEL_FRAMESPERGROUP and
 * QEN_ZEL_NUM_REPEATS still are), and room for extra_records header records
 * given later with zel_rpc_putrecord. An unknown value_type or conversion,
 * or a negative extra_records: null with *status 8, nothing created. */
ZEL_API void *zel_rpc_create_as(const char *name, int channels, int points, double dt,
                                int value_type, int conversion, int extra_records, int *status);

/* A header record of a file being written, before zel_rpc_writeclose.
 * "DATE" replaces the time of writing, "KIVOR_RUN" the file name written
 * as the run (a file written under a temporary name keeps its final one);
 * any other keyword (1 to 31
 * printable characters, no blanks) takes one of the extra records reserved
 * by zel_rpc_create_as, or replaces the value it was given before. value
 * is cut to 95 characters. 0; 9 for a keyword the writer fills itself
 * (FORMAT, CHANNELS, DESC.CHAN_n, ...), a malformed keyword, a null text
 * or no room left; 3, 10 or 11 as for zel_rpc_putchannel. */
ZEL_API int zel_rpc_putrecord(void *handle, const char *keyword, const char *value);

/* Stores one channel; null texts keep the current ones. 0, 9, 10, 3, or 11
 * when a write of the channel failed (disk full, file-size limit, I/O
 * error): from then on every call returns 11 and the file is lost. */
ZEL_API int zel_rpc_putchannel(void *handle, int channel, int points, const double *values,
                               const char *description, const char *units);

/* Writes the final header, closes the file, releases the handle. 0, 3, or
 * 11 when any write of the file's life failed (the header, a channel, the
 * close itself, also when putchannel's 11 went unchecked): the file is then
 * removed, never left holding zeros where data was lost. */
ZEL_API int zel_rpc_writeclose(void *handle);

/* Message of a code into buffer (58 bytes suffice). */
ZEL_API void zel_rpc_geterror(int code, char *buffer);

/* ======================================================================
 * DAC time-history files
 * ====================================================================== */

/* Status codes of the DAC family (messages via zel_dac_geterror). */
enum {
  ZEL_DAC_OK = 0,                /* "No error" */
  ZEL_DAC_HEADER_READ = 1,       /* "Error reading header record" */
  ZEL_DAC_NOT_DAC = 2,           /* "Not a valid dac file" */
  ZEL_DAC_HEADER_WRITE = 3,      /* "Error writing header record" */
  ZEL_DAC_ALREADY_OPEN = 4,      /* "File is already open in call to Open" */
  ZEL_DAC_BAD_ARGUMENTS = 5,     /* "Bad arguments passed to function" */
  ZEL_DAC_OPEN_FAILED = 6,       /* "Error opening file" */
  ZEL_DAC_DATA_WRITE = 7,        /* "Error writing data" */
  ZEL_DAC_NOT_WRITE_MODE = 8,    /* "File not in write mode" */
  ZEL_DAC_NOT_READ_MODE = 9,     /* "File not in read mode" */
  ZEL_DAC_NO_POINTS = 10,        /* "No data points written to file" */
  ZEL_DAC_SEEK = 11,             /* "Error seeking to read/write position" */
  ZEL_DAC_DATA_READ = 12,        /* "Error reading data" */
  ZEL_DAC_DETAIL_NOT_FOUND = 13, /* "Extra details keyword not found" */
  ZEL_DAC_NOT_OPEN = 14,         /* "Open call has not been made" */
  ZEL_DAC_STATS_UNKNOWN = 15,    /* "Stats not yet known" */
  ZEL_DAC_DETAILS_READ = 16,     /* "Error reading extra details" */
  ZEL_DAC_DETAILS_WRITE = 17,    /* "Error writing extra details" */
  ZEL_DAC_BAD_HANDLE = 18,       /* "Invalid handle" */
  ZEL_DAC_START_BEYOND_END = 19, /* "Start point for read is beyond end of signal" */
  ZEL_DAC_END_BEFORE_START = 20, /* "End point for read is before start point" */
  ZEL_DAC_BAD_RATE = 21,         /* "Sample rate must be positive" */
  ZEL_DAC_BAD_POINT_COUNT = 22,  /* "Number of points must be greater than zero" */
  ZEL_DAC_BAD_STATISTICS = 23    /* "Statistics are not valid" */
};

/* 1 when the file opens as a DAC file (header, validity test and extra
 * details all read), else 0. */
ZEL_API int zel_dac_sniff(const char *path);

/* Opens a file for reading. npts, rate (1 / interval), spare (always 0.0)
 * and status are cleared first. Returns the handle whenever it could be
 * allocated, also with a non-zero status (21: the file's interval is not
 * above 0, the handle is usable all the same); release it with
 * zel_dac_close. Null (status 18) only when no handle could be allocated. */
ZEL_API void *zel_dac_open(const char *path, int *npts, double *rate, double *spare, int *status);

/* Next count samples of an open handle, from where the previous read
 * stopped; returns how many were delivered (0 at the end of the signal, for
 * a null handle or a count below 1). After a failed read (a file shorter
 * than its header claims) it returns the count it meant to read and the
 * read position stays; the samples the file holds come first, values the
 * file could not supply are 0.0. Each handle reads through a buffer of its
 * own: handles may be read on different threads at once (one thread per
 * handle). */
ZEL_API int zel_dac_getnpts(void *handle, int count, double *samples);

/* Releases a handle, its read buffer included. 0, or
 * 18 for a null handle, or 14 for a handle whose open failed with 6 (the
 * handle is released all the same). */
ZEL_API int zel_dac_close(void *handle);

/* Description of a file without its samples. date holds 121 bytes
 * ("Unknown" without a "Date" detail), the labels 25 and the notes 29. */
ZEL_API int zel_dac_read(const char *path, int *npts, double *start_time, double *rate, char *date,
                         char *x_label, char *x_note, char *y_label, char *y_note);

/* Whole file into samples (room for *npts doubles). With samples null it
 * fills npts, start_time and rate and returns 12. A file shorter than its
 * header claims gives 12 with every sample it holds, and 0.0 for the values
 * it could not supply. */
ZEL_API int zel_dac_data(const char *path, int *npts, double *start_time, double *rate,
                         double *samples);

/* Writes a whole file of npts samples. rate must be above 0 unless npts is
 * 1 (then the interval is 1.0). y_note may be null. The x label is "Time";
 * a "Date" detail records the time of writing. */
ZEL_API int zel_dac_write(const char *path, int npts, double start_time, double rate,
                          const double *samples, const char *x_note, const char *y_label,
                          const char *y_note);

/* Message of a code into buffer (45 bytes suffice); "Unknown error" for a
 * code outside 0 to 23. */
ZEL_API void zel_dac_geterror(int code, char *buffer);

/* Window of 2 * half_width + 1 samples around centre_time (any width):
 * times and values hold that many doubles. Positions before the first or
 * after the last sample hold the first or last sample's value; a window
 * reaching samples the file could not supply fails with 12 and every value
 * 0.0. npts, start_time and interval (1 / rate) are those of the open
 * file; a larger npts is cut to the file's. Returns 0; 5 (negative
 * half_width, npts below 1, interval not above 0, centre_time not a number;
 * outputs untouched); 11, 12, 18, 19 or 20. After a window,
 * zel_dac_getnpts delivers nothing until the next window. */
ZEL_API int zel_dac_getwindow(void *handle, int npts, double start_time, double interval,
                              double centre_time, int half_width, double *times, double *values);

/* ======================================================================
 * Modal-coordinate export
 * ====================================================================== */

/* Array layout shared by every function below: column-major, step index
 * fastest, leading dimension num_steps (N0) as passed.
 *  - step_values: N0 output times (time output) or frequencies;
 *  - uh_disp, uh_vel, uh_acc: N0 x num_modes values (time output) or, in
 *    frequency output, N0 x 2 * num_modes: real part of mode j in column
 *    2j - 1, imaginary part in column 2j (only uh_disp is read);
 *  - bh_disp, bh_vel, bh_acc: the same with six components (N0 x 6, or
 *    N0 x 12 in frequency output, only bh_disp read).
 * frequency_domain: 0 time output (TOL, UHT, BHT), 1 frequency output
 * (FOL, UHF, BHF). In time output the last num_dropped_steps steps are left
 * out. Nothing is validated; one export at a time per process. */

/* Writes the export as an OUTPUT2 file (to_punch 0) or a punch file of
 * DTI/DMI cards (any other to_punch), creating or overwriting file_name.
 * Returns 1 when the file was written completely; 2 when it could not be
 * created or written completely (disk full, file-size limit, I/O error: a
 * file begun is removed); 0 when the OUTPUT2 scratch storage could not be
 * obtained (nothing is opened or written). The caller's counts are never
 * changed. */
ZEL_API int zel_fes_write_mcs(int to_punch, int num_modes, int num_steps, int num_dropped_steps,
                              const double *step_values, const double *uh_disp,
                              const double *bh_disp, const double *uh_vel, const double *bh_vel,
                              const double *uh_acc, const double *bh_acc, int frequency_domain,
                              const char *file_name);

/* The upper-case routines take every argument by reference and, after all
 * of them, the byte length of each text argument by value (file names need
 * no NUL). They return nothing, check nothing and may change the integers
 * they are given. */

/* OUTPUT2 writer. name_list holds num_steps + 2 four-byte words; column_1
 * to column_3 hold max(6, num_modes) doubles each (twice that in frequency
 * output); afterwards they hold the last header record and columns built.
 * In time output num_steps is reduced by num_dropped_steps in place. */
ZEL_API void ZEL_OP2_WMC(int32_t *num_modes, int32_t *num_steps, int32_t *num_dropped_steps,
                         void *name_list, double *column_1, double *column_2, double *column_3,
                         const double *step_values, const double *uh_disp, const double *bh_disp,
                         const double *uh_vel, const double *bh_vel, const double *uh_acc,
                         const double *bh_acc, const int32_t *frequency_domain,
                         const char *file_name, int64_t file_name_length);

/* Punch writer. In time output num_steps is reduced by num_dropped_steps in
 * place; num_modes is set to 6 when the six-component matrix is reached. */
ZEL_API void ZEL_PCH_WMC(int32_t *num_modes, int32_t *num_steps, int32_t *num_dropped_steps,
                         const double *step_values, const double *uh_disp, const double *bh_disp,
                         const double *uh_vel, const double *bh_vel, const double *uh_acc,
                         const double *bh_acc, const int32_t *frequency_domain,
                         const char *file_name, int64_t file_name_length);

/* OUTPUT2 record patterns on an open record unit. Block head: the 8-byte
 * name (blank-padded when name_length is shorter) and the seven trailer
 * words. */
ZEL_API void ZEL_OP2ISET(const char *name, const int32_t *t1, const int32_t *t2, const int32_t *t3,
                         const int32_t *t4, const int32_t *t5, const int32_t *t6, const int32_t *t7,
                         const int32_t *unit, int64_t name_length);

/* One data record with its markers: flag 0 (header record) or 1 (column);
 * words_per_term 1 writes data words 1 to last, 2 writes the row number
 * first and then terms first to last of a column of doubles. */
ZEL_API void ZEL_OP2WRIT(const int32_t *flag, const int32_t *last, const int32_t *words_per_term,
                         const int32_t *first, const int32_t *unit, const void *data);

/* Block end. */
ZEL_API void ZEL_OP2ESET(const int32_t *unit);

/* Outcome of the most recent ZEL_OP2_WMC, ZEL_PCH_WMC or zel_fes_write_mcs
 * of the process, for callers of the upper-case writers (which return
 * nothing): 0 when its file was written completely (and before any export),
 * 2 when the file could not be created or written completely (it is then
 * removed). */
ZEL_API int zel_fes_status(void);

/* ======================================================================
 * Version report
 * ====================================================================== */

/* Prints the build identification on standard output and returns the
 * release version text (static, not to be freed). */
ZEL_API const char *zel_version(void);

/* Returns the release version text; prints nothing. */
ZEL_API const char *zel_build_version(void);

#ifdef __cplusplus
} /* extern "C" */

/* ======================================================================
 * RPC III classes for C++ callers
 * ====================================================================== */

namespace zel {
class Rpc3Reader; /* the library's own implementations (opaque) */
class Rpc3Writer;
} // namespace zel

/* Attributes of one channel. */
class ZEL_API rpc_channel_timehistory {
public:
  rpc_channel_timehistory();

  char description[96]; /* from DESC.CHAN_n or DEST.CHAN_n */
  char units[96];       /* from UNITS.CHAN_n */
  int map;              /* from MAP.CHAN_n */
  double scale;         /* stored integer to physical value */
  double lower_limit;
  double upper_limit;
};

/* Values of the fixed header keywords, filled by the reader from a file and
 * by the writer to build its header. Texts hold 95 characters and a NUL. */
struct rpc3_header {
  char format[96];
  int num_header_blocks;
  int num_params;
  int bypass_filter;
  int channels;
  char data_type[96];
  char date[96];
  double delta_t;
  char file_type[96];
  int frames;
  int half_frames;
  int int_full_scale;
  char operation[96];
  int part_chan_1;
  int part_nchan_1;
  int partitions;
  int pts_per_frame;
  int pts_per_group;
  int repeats;
  char time_type[96];
};

/* Reads one RPC III file. Construct, check getStatus() == 0, call
 * initRead() once, then query and read; destroy to close the file. An
 * object the library had no memory for reads as a file that could not be
 * opened (status 1). */
class ZEL_API rpc3file_input {
public:
  explicit rpc3file_input(const char *name);
  ~rpc3file_input();
  rpc3file_input(const rpc3file_input &) = delete;
  rpc3file_input &operator=(const rpc3file_input &) = delete;

  bool validFile();
  int getStatus();

  /* Reads and parses the header and loads the first data. budget is the
   * number of mebibytes the data may occupy in memory: the whole data
   * section when it fits, else two groups per channel when they fit, else
   * two frames per channel. */
  void initRead(int budget);

  int getInfo(int &channels, int &points, double &dt, char *date);
  int getAttributes(int channel, char *description, char *units);
  /* The fixed header values as parsed (complete after initRead). */
  const rpc3_header &getHeader() const;

  /* Whole channel into values (points-per-channel doubles). 0 or 9. As for
   * every read below, values the file could not supply are 0.0. */
  int getData(int channel, double *values);
  /* Next count points of a channel; returns the number delivered. */
  int getData(int channel, int count, double *values);
  /* 2 * halfWidth + 1 points around time. 0 or 9. */
  int getWindow(int channel, double time, double *times, double *values, int halfWidth);
  /* As zel_rpc_getrange, zel_rpc_samples and zel_rpc_record (after initRead). */
  int getRange(int channel, int first, int count, double *values);
  int getSamples();
  int getRecord(int index, char *keyword, char *value);

private:
  zel::Rpc3Reader *impl_;
};

/* Writes one RPC III file. Construct with the channel count, the samples
 * per channel and the sample interval, store channels with setChannel(),
 * then close() (or destroy) to write the final header and close the file.
 * A failed write sets the status 11 for good, and close() then removes the
 * file. An object the library had no memory for has the status 10 and
 * takes nothing (setChannel() returns 10). */
class ZEL_API rpc3file_output {
public:
  rpc3file_output(const char *name, int channels, int points, double dt);
  /* As zel_rpc_create_as: the status is 8 for unknown settings. */
  rpc3file_output(const char *name, int channels, int points, double dt, int value_type,
                  int conversion, int extra_records = 0);
  ~rpc3file_output();
  rpc3file_output(const rpc3file_output &) = delete;
  rpc3file_output &operator=(const rpc3file_output &) = delete;

  /* 0, 9 (channel out of range), 10 (out of memory), 11 (a write failed,
   * now or earlier) or 3 (after close()). */
  int setChannel(int channel, int points, const double *values, const char *description,
                 const char *units);
  int getStatus();
  /* As zel_rpc_putrecord. */
  int putRecord(const char *keyword, const char *value);
  /* Writes the final header and closes the file; 0, or 11 when any write
   * of the file's life failed (the file is then removed). Further calls
   * return the same; the destructor closes a file not closed yet. */
  int close();

private:
  zel::Rpc3Writer *impl_;
};

#endif /* __cplusplus */

#endif /* ZEL_H */
