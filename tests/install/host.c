/* A host program built against an installed Morvane Classifier: loads the
 * installed example working directory and main template, classifies a page
 * and prints the winning sub-template's ID. Usage: host DATADIR PAGE DPI */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "morvane/classifier.h"

/* ASCII paths only (enough for the test's temporary folders). */
static MorvaneChar* Widen(const char* text) {
    size_t n = strlen(text);
    MorvaneChar* out = malloc((n + 1) * sizeof(MorvaneChar));
    if (!out) return NULL;
    for (size_t i = 0; i <= n; ++i) out[i] = (MorvaneChar)(unsigned char)text[i];
    return out;
}

static int Join(char* out, size_t size, const char* a, const char* b) {
    return snprintf(out, size, "%s/%s", a, b) < (int)size;
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: host DATADIR PAGE DPI\n");
        return 2;
    }
    char workdir[4096], mainXml[4096];
    if (!Join(workdir, sizeof(workdir), argv[1], "workdir/") ||
        !Join(mainXml, sizeof(mainXml), argv[1], "templates/main.xml"))
        return 2;
    MorvaneChar* w = Widen(workdir);
    MorvaneChar* t = Widen(mainXml);
    MorvaneChar* p = Widen(argv[2]);
    int status = 1, index = -1, code;
    if (!w || !t || !p) goto done;
    if ((code = LoadClassifier(NULL, w)) != 0) {
        fprintf(stderr, "LoadClassifier: %d\n", code);
        goto done;
    }
    if ((code = AddMainTemplate(t, &index)) != 0) {
        fprintf(stderr, "AddMainTemplate: %d\n", code);
        goto done;
    }
    SetPixelResolution(atoi(argv[3]), atoi(argv[3]), index);
    if ((code = ClassifyImageFile(p, index)) != 0) {
        fprintf(stderr, "ClassifyImageFile: %d\n", code);
        goto done;
    }
    MorvaneChar id[64];
    int n = 64;
    if ((code = GetTemplateID(id, &n)) != 0) {
        fprintf(stderr, "GetTemplateID: %d\n", code);
        goto done;
    }
    for (int i = 0; i + 1 < n; ++i) putchar(id[i] < 128 ? (char)id[i] : '?');
    putchar('\n');
    status = 0;
done:
    FreeClassifier();
    free(w);
    free(t);
    free(p);
    return status;
}
