/* Build identification: eight "@(#)" texts that a scan of the library file
 * finds, printed (without the marker) by zel_version. */
#include "zel.h"

#include <stdio.h>

#include "version_texts.h"

static const char *const id_texts[8] = {ZEL_ID_LINE_1, ZEL_ID_LINE_2, ZEL_ID_LINE_3, ZEL_ID_LINE_4,
                                        ZEL_ID_LINE_5, ZEL_ID_LINE_6, ZEL_ID_LINE_7, ZEL_ID_LINE_8};

/* The release version, once for each function. */
static const char release_for_report[] = ZEL_ID_RELEASE;
static const char release_for_query[] = ZEL_ID_RELEASE;

const char *zel_version(void) {
  int i;
  fputs("\n", stdout);
  for (i = 0; i < 8; ++i) {
    fputs("\n", stdout);
    fputs(id_texts[i] + 4, stdout);
  }
  fputs("\n", stdout);
  fflush(stdout);
  return release_for_report;
}

const char *zel_build_version(void) { return release_for_query; }
