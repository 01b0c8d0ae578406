-- qc.db of the sample workstation: quality-control files and their results. The analyser
-- application keeps this file; the upgrade program only opens it.
-- Build it with: sqlite3 qc.db < qc.sql
begin transaction;
create table qcFile(id integer primary key, item text, lot text, level integer, target real, sd real, expiry text);
create table qcResult(id integer primary key, fileId integer references qcFile, date text, value real);
insert into qcFile values(1, 'PT', 'QN2311', 1, 12.0, 0.45, '2024-05-31');
insert into qcFile values(2, 'PT', 'QA2311', 2, 28.5, 1.20, '2024-05-31');
insert into qcFile values(3, 'APTT', 'QN2311', 1, 30.0, 1.10, '2024-05-31');
insert into qcFile values(4, 'FIB', 'QN2311', 1, 2.80, 0.14, '2024-05-31');
insert into qcResult values(1, 1, '2023-11-14', 11.9);
insert into qcResult values(2, 2, '2023-11-14', 28.9);
insert into qcResult values(3, 3, '2023-11-14', 30.4);
insert into qcResult values(4, 4, '2023-11-14', 2.74);
insert into qcResult values(5, 1, '2023-11-15', 12.2);
insert into qcResult values(6, 2, '2023-11-15', 27.8);
insert into qcResult values(7, 3, '2023-11-15', 29.6);
insert into qcResult values(8, 4, '2023-11-15', 2.91);
commit;
