/* Morvane Classifier: JPEG-2000 codestream exports and their records.
 * Records are allocated with the C heap so that j2k_destroy can release
 * records built either by the caller or by j2k_decode. All integers are
 * 32-bit signed. */
#ifndef MORVANE_J2K_H
#define MORVANE_J2K_H

#ifdef __cplusplus
extern "C" {
#endif

#define J2K_MAXLAYERS 100
#define J2K_MAXBANDS 97
#define J2K_MAXRLVLS 33
#define J2K_MAXPOCS 32

/* One image component. data holds ceil((x1 - x0) / dx) * ceil((y1 - y0) / dy)
 * samples, row after row, top row first. */
typedef struct j2k_comp {
    int dx;   /* horizontal sub-sampling */
    int dy;   /* vertical sub-sampling */
    int prec; /* bits per sample */
    int sgnd; /* 1 when samples are signed */
    int* data;
} j2k_comp_t;

/* The image area on the reference grid and its components. */
typedef struct j2k_image {
    int x0, y0; /* top-left of the image area */
    int x1, y1; /* bottom-right, exclusive */
    int numcomps;
    j2k_comp_t* comps; /* numcomps records */
} j2k_image_t;

/* One quantisation step size: exponent and 11-bit mantissa. */
typedef struct j2k_stepsize {
    int expn;
    int mant;
} j2k_stepsize_t;

/* Coding parameters of one component in one tile. */
typedef struct j2k_tccp {
    int csty;           /* bit 0 set: precinct sizes given in prcw/prch */
    int numresolutions; /* decomposition levels + 1 */
    int cblkw;          /* code-block width exponent */
    int cblkh;          /* code-block height exponent */
    int cblksty;        /* code-block style flags */
    int qmfbid;         /* 0: irreversible 9-7 wavelet, 1: reversible 5-3 */
    int qntsty;         /* 0: none, 1: scalar derived, 2: scalar expounded */
    j2k_stepsize_t stepsizes[J2K_MAXBANDS];
    int numgbits;           /* guard bits */
    int roishift;           /* region-of-interest shift */
    int prcw[J2K_MAXRLVLS]; /* precinct width exponent per resolution (0 = lowest) */
    int prch[J2K_MAXRLVLS]; /* precinct height exponent per resolution */
} j2k_tccp_t;

/* One progression-order change (kept for completeness; not used by the library's writer). */
typedef struct j2k_poc {
    int resno0, compno0;
    int layno1, resno1, compno1;
    int prg;
} j2k_poc_t;

/* Coding parameters of one tile. */
typedef struct j2k_tcp {
    int csty;                 /* coding style (bit 1 SOP, bit 2 EPH) */
    int prg;                  /* progression order: 0 LRCP, 1 RLCP, 2 RPCL, 3 PCRL, 4 CPRL */
    int numlayers;            /* quality layers, at most J2K_MAXLAYERS */
    int mct;                  /* 1: multiple-component transform */
    int rates[J2K_MAXLAYERS]; /* byte budget of each layer; 0 = no limit */
    int numpocs;
    j2k_poc_t pocs[J2K_MAXPOCS];
    j2k_tccp_t* tccps; /* one record per component */
} j2k_tcp_t;

/* Tile grid and per-tile coding parameters. */
typedef struct j2k_cp {
    int tx0, ty0;    /* tile grid origin */
    int tdx, tdy;    /* tile size */
    int tw, th;      /* tiles across and down */
    j2k_tcp_t* tcps; /* tw * th records, raster order */
} j2k_cp_t;

/* Encodes the image into a raw JPEG-2000 codestream in dest (len bytes).
 * Returns the codestream length, 0 on any failure. */
MORVANE_API int MORVANE_CALL j2k_encode(j2k_image_t* image, j2k_cp_t* cp, unsigned char* dest, int len);
/* Decodes a codestream. Returns the bytes consumed up to and including the
 * end-of-codestream marker, 0 on failure. The records are allocated by the
 * call and returned also on failure once allocated; release with j2k_destroy. */
MORVANE_API int MORVANE_CALL j2k_decode(unsigned char* src, int len, j2k_image_t** image, j2k_cp_t** cp);
/* Releases both records with everything they own and nulls both references. */
MORVANE_API void MORVANE_CALL j2k_destroy(j2k_image_t** image, j2k_cp_t** cp);

#ifdef __cplusplus
}
#endif

#endif /* MORVANE_J2K_H */
