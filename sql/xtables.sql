-- The record dictionary: the six x-tables, keyed by indice (the dictionary key of a table).
-- Run once on a new database: volmek fsql xtables.sql
-- volmek reads them positionally (select *, order by position); only indice is named.
create table xcampo (
  indice     varchar2(64),
  orden      number(10),
  nombre     varchar2(64),
  nombre2    varchar2(64),
  tipo       varchar2(8),
  uso        varchar2(8),
  longitud   number(10),
  decimales  number(10),
  signo      varchar2(8)
)
;
create table xclave (
  indice     varchar2(64),
  posicion   number(10),
  campo      varchar2(64),
  sentido    varchar2(1)
)
;
create table xdivide (
  indice     varchar2(64),
  orden      number(10),
  texto      varchar2(64),
  campo      number(10)
)
;
create table xselec (
  indice     varchar2(64),
  n1         number(10),
  n2         number(10),
  t1         varchar2(254),
  t2         varchar2(254),
  t3         varchar2(254),
  t4         varchar2(254),
  t5         varchar2(254)
)
;
create table xcondi (
  indice     varchar2(64),
  n1         number(10),
  n2         number(10),
  t1         varchar2(254),
  n3         number(10),
  t2         varchar2(254),
  n4         number(10),
  t3         varchar2(254),
  n5         number(10),
  t4         varchar2(254)
)
;
create table xindice (
  indice     varchar2(64),
  n1         number(10),
  clave      varchar2(64),
  texto      varchar2(254)
)
;
