-- ---------------------------------------------------------------------
--    CLIENTES
-- ---------------------------------------------------------------------
drop table CLIENTES
;
create table CLIENTES (
   IDENTI              int  identity (1,1)  primary key,
   ID_CLIENTES         dec  (10,0) not null,
   NOMBRE              char (40) not null,
   OBSERVACIONES_DEL_CLIENTE text,
   CODIGO_POSTAL_DE_ENVIO char (5),
   SALDO               dec  (12,2),
   PUNTOS              dec  (9,0),
   ALTA                datetime not null,
   NOTAS               text,
   FIRMA               char (16),
   FOTO                text,
   CLAVE               char (255),
   RESUMEN             text
)
;
create unique  index CLIENTESI on CLIENTES (ID_CLIENTES)
;
create  index I_CLIENTES_NOMBRE on CLIENTES (NOMBRE, ALTA)
;
create  index I_MIXTO on CLIENTES (SALDO)
;
create unique  index I_MIXTO on CLIENTES (PUNTOS)
;
-- ---------------------------------------------------------------------
--    PAISES
-- ---------------------------------------------------------------------
drop table PAISES
;
create table PAISES (
   IDENTI              int  identity (1,1)  primary key,
   CODIGO              char (2) not null,
   NOMBRE              char (30)
)
;
