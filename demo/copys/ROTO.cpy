       05  ROTO                   PIC X(4.
