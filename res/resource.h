// Identifiers of the program's own resources. Plain definitions only: the resource compiler reads
// this file too.
#ifndef VORSK_RES_RESOURCE_H
#define VORSK_RES_RESOURCE_H

#define IDD_ABOUTBOX 100
#define IDR_MAINFRAME 128
#define IDR_VORSKTYPE 129

#endif
