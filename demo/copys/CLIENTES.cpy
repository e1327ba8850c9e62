000100* CLIENTES - REGISTRO DE CLIENTES PARA LA DEMO DE CREACPY         CLIENTES
000200 01  CLIENTES.                                                    CLIENTES
000300     05  CLI-CODIGO             PIC 9(5).                         CLIENTES
000400     05  CLI-NOMBRE             PIC X(30).                        CLIENTES
000500     05  CLI-TIPO               PIC X.                            CLIENTES
000600         88  CLI-PARTICULAR     VALUE 'P'.                        CLIENTES
000700         88  CLI-EMPRESA        VALUE 'E'.                        CLIENTES
000800     05  CLI-ALTA               PIC 9(8).                         CLIENTES
000900     05  CLI-ALTA-R REDEFINES CLI-ALTA.                           CLIENTES
001000         10  CLI-ALTA-ANO       PIC 9(4).                         CLIENTES
001100         10  CLI-ALTA-MES       PIC 99.                           CLIENTES
001200         10  CLI-ALTA-DIA       PIC 99.                           CLIENTES
001300     05  CLI-SALDO              PIC S9(7)V99 COMP-3.              CLIENTES
001400     05  CLI-VENTAS OCCURS 2 TIMES.                               CLIENTES
001500         10  CLI-IMPORTE        PIC S9(7)V99 COMP-3.              CLIENTES
001600         10  CLI-UNIDADES       PIC 9(4) COMP OCCURS 3.           CLIENTES
001700     05  FILLER                 PIC X(10).                        CLIENTES
