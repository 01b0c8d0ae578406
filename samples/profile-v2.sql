-- profile.db of a coagulation workstation at schema version 2.
-- Settings, users, assays, calibration curves and reagents.
-- Build it with: sqlite3 profile.db < profile-v2.sql
begin transaction;

create table profile(name text primary key, value);
create table user(
	id integer primary key,
	name text unique COLLATE NOCASE,
	password text,
	level integer default 0,
	hide integer default 0 );
create table assayItem(name text primary key, unit text, precision integer, ordinal integer);
create table curve(
	id integer primary key,
	name text,
	assay text,
	lot text,
	created text,
	a real,
	b real, instrUuid text);
create unique index curve_index on curve(name, instrUuid);
create table curvePoint(id integer primary key, curveId integer references curve, x real, y real);
create table curveVariable(curveId integer references curve, name text, value, unique(curveId, name));
create table curveReagent(curveId integer references curve, reagent text, lot text, expiry text);
-- curve debug info, since v1
create table curveInfo (
	curveId integer references curve,
	name text not null,
	value,
	unique (curveId, name) on conflict replace
	);
create table assayCalibration(name text primary key, curveId integer references curve, funX text, funY text);
create table reagent(
	id integer primary key,
	type integer,
	name text unique,
	initVolume integer,
	alarmLimit integer,
	vialType integer,
	position integer);
create trigger deleteCurve after delete on curve 
begin 
	delete from curvePoint    where    curvePoint.curveId = old.id;
	delete from curveVariable where curveVariable.curveId = old.id;
	delete from curveReagent  where  curveReagent.curveId = old.id;
	delete from curveInfo     where     curveInfo.curveId = old.id;
end;
create table version(version integer);
insert into version values(2);

insert into profile (name, value) values('hospital', '第一检验中心');
insert into profile (name, value) values('statim_sample_prefix', 'S');
insert into profile (name, value) values('qc_sample_prefix', 'QC');
insert into profile (name, value) values('result_can_not_be_calculated', '---.-');
insert into profile (name, value) values('dilution_result_flag', '!');
insert into profile (name, value) values('lower_report_limit_flag', '<');
insert into profile (name, value) values('upper_report_limit_flag', '>');
insert into profile (name, value) values('lower_mark_limit_flag', '↓');
insert into profile (name, value) values('upper_mark_limit_flag', '↑');
insert into profile (name, value) values('manual_input_flag', 'M');
insert into profile (name, value) values('color_of_waiting', '#c0c0c0');
insert into profile (name, value) values('color_of_dispensing', '#ffff00');
insert into profile (name, value) values('color_of_incubating', '#00aaff');
insert into profile (name, value) values('color_of_analysing', '#00ff00');
insert into profile (name, value) values('color_of_null_result', '#ff0000');
insert into profile (name, value) values('analysis_display_assay', 'PT;APTT;FIB;TT;DD');
insert into profile (name, value) values('patient_display_fields', 'sampleNo;name;sex;age;department;bedNo');
insert into profile (name, value) values('max_qc_file', 30);
insert into profile (name, value) values('qc_method', 1);
insert into profile (name, value) values('is_touch_screen', 'false');
insert into profile (name, value) values('FIB/report/dilution', '1/20');
insert into profile (name, value) values('PT/isi', 1.02);
insert into profile (name, value) values('PT/mnpt', 11.8);
insert into profile (name, value) values('PT/report/INR', 'true');
insert into profile (name, value) values('APTT/report/ratio', 'false');
insert into profile (name, value) values('DD/unit', 'mg/L FEU');
insert into profile (name, value) values('AT/disable', 'false');
insert into profile (name, value) values('serial/port', 'ttyS0');
insert into profile (name, value) values('serial/baudRate', 115200);
insert into profile (name, value) values('lis/enabled', 'false');
insert into profile (name, value) values('printer/autoPrint', 'true');
insert into profile (name, value) values('dilution', '梯度1;1/5;1/10;1/20;1/30,梯度2;1/5;1/10;1/20;1/30;1/40,梯度3;1/1;1/2;1/4;1/8,梯度4;1/1;3/4;1/2;1/4');
insert into profile (name, value) values('patient/sampleType', '样本类型');
insert into profile (name, value) values('DD/mix/times', 3);
insert into profile (name, value) values('DD/max_clot_time', 120);
insert into profile (name, value) values('specialValue/DD/P', 0.1);
insert into profile (name, value) values('DD/priority', 10);
insert into profile (name, value) values('FDP/mix/times', 3);
insert into profile (name, value) values('FDP/max_clot_time', 150);
insert into profile (name, value) values('specialValue/FDP/P', 0.1);
insert into profile (name, value) values('reagent/initVolume', '初始量[ul]');
insert into profile (name, value) values('reagent/alarmLimit', '报警限[ul]');
insert into profile (name, value) values('reagent/interruptLimit', '中断限[ul]');
insert into profile (name, value) values('patient/hospitalNo', '住院号');
insert into profile (name, value) values('schedule/sample', 6);
insert into profile (name, value) values('schedule/reagent', 6);
insert into profile (name, value) values('schedule/mix', 2);
insert into profile (name, value) values('schedule/dilution', 12);
insert into profile (name, value) values('schedule/dilution/1/10', 12);
insert into profile (name, value) values('schedule/dilution/1/20', 17);
insert into profile (name, value) values('schedule/dilution/1/40', 22);
insert into profile (name, value) values('schedule/clean', 15);
insert into profile (name, value) values('schedule/test/PT', 27);
insert into profile (name, value) values('schedule/test/FIB/table', '0.2,25;0.1,35;0.05,45;0.025,65');
insert into profile (name, value) values('schedule/test/APTT', 50);
insert into profile (name, value) values('schedule/test/TT', 35);
insert into profile (name, value) values('schedule/test/II', 30);
insert into profile (name, value) values('schedule/test/V', 30);
insert into profile (name, value) values('schedule/test/VII', 30);
insert into profile (name, value) values('schedule/test/X', 30);
insert into profile (name, value) values('schedule/test/VIII', 30);
insert into profile (name, value) values('schedule/test/IX', 30);
insert into profile (name, value) values('schedule/test/XI', 30);
insert into profile (name, value) values('schedule/test/XII', 30);
insert into profile (name, value) values('analyst/FIB/odPercent', 0.5);
insert into profile (name, value) values('analyst/FIB/odThreshold', '4,0.008; 6,0.004; 10,0.0025; 20,0.001; 40,0.0005');
insert into profile (name, value) values('analyst/APTT/odThreshold', '4,0.2; 10,0.05; 20,0.02');
insert into profile (name, value) values('analyst/odThreshold', '4,0.2; 8,0.05; 10,0.01');

insert into user (id, name, password, level, hide) values(1, 'admin', '9f1c2e7a0b44d35c61e8a2f0d7b39c15', 9, 0);
insert into user (id, name, password, level, hide) values(2, 'engineer', '41d0c8a3e95f27b6d2c4a19e70f3b58d', 5, 1);
insert into user (id, name, password, level, hide) values(3, 'lab01', 'c3a5e1f9027d4b86ae31f5c97d0b2e64', 1, 0);
insert into user (id, name, password, level, hide) values(4, 'lab02', '7be20d94c1f36a58e0d4b7c2a9f1e356', 1, 0);
insert into user (id, name, password, level, hide) values(5, 'night', 'e86f3a1d5c07b92e4fa1d63c8b05e7a2', 1, 0);

insert into assayItem (name, unit, precision, ordinal) values('PT', 's', 1, 1);
insert into assayItem (name, unit, precision, ordinal) values('INR', '', 2, 2);
insert into assayItem (name, unit, precision, ordinal) values('APTT', 's', 1, 3);
insert into assayItem (name, unit, precision, ordinal) values('FIB', 'g/L', 2, 4);
insert into assayItem (name, unit, precision, ordinal) values('TT', 's', 1, 5);
insert into assayItem (name, unit, precision, ordinal) values('DD', 'mg/L FEU', 2, 6);
insert into assayItem (name, unit, precision, ordinal) values('FDP', 'ug/mL', 1, 7);
insert into assayItem (name, unit, precision, ordinal) values('AT', '%', 0, 8);
insert into assayItem (name, unit, precision, ordinal) values('II', '%', 0, 9);
insert into assayItem (name, unit, precision, ordinal) values('V', '%', 0, 10);
insert into assayItem (name, unit, precision, ordinal) values('VII', '%', 0, 11);
insert into assayItem (name, unit, precision, ordinal) values('VIII', '%', 0, 12);
insert into assayItem (name, unit, precision, ordinal) values('IX', '%', 0, 13);
insert into assayItem (name, unit, precision, ordinal) values('X', '%', 0, 14);
insert into assayItem (name, unit, precision, ordinal) values('XI', '%', 0, 15);
insert into assayItem (name, unit, precision, ordinal) values('XII', '%', 0, 16);
insert into assayItem (name, unit, precision, ordinal) values('OD', '', 3, 17);

insert into curve (id, name, assay, lot, created, a, b, instrUuid) values(1, 'PT 2023-09', 'PT', 'PT-2309A', '2023-09-18 10:21:04', 1.62, -0.38, '6d1f0c52-8a3e-4b7d-9e21-5c4a7f03b9d8');
insert into curve (id, name, assay, lot, created, a, b, instrUuid) values(2, 'PT 演算 FIB 2023-09', 'PT 演算 FIB', 'PT-2309A', '2023-09-18 10:40:51', 0.21, 0.35, '6d1f0c52-8a3e-4b7d-9e21-5c4a7f03b9d8');
insert into curve (id, name, assay, lot, created, a, b, instrUuid) values(3, 'FIB 2023-10', 'FIB', 'FIB-2310C', '2023-10-09 14:02:33', 1.48, -0.97, '6d1f0c52-8a3e-4b7d-9e21-5c4a7f03b9d8');
insert into curve (id, name, assay, lot, created, a, b, instrUuid) values(4, 'DD 2023-10', 'DD', 'DD-2310B', '2023-10-11 09:12:10', 0.021, 0.118, '6d1f0c52-8a3e-4b7d-9e21-5c4a7f03b9d8');
insert into curve (id, name, assay, lot, created, a, b, instrUuid) values(5, 'FDP 2023-10', 'FDP', 'FDP-2310A', '2023-10-11 09:55:42', 0.012, 0.094, '6d1f0c52-8a3e-4b7d-9e21-5c4a7f03b9d8');
insert into curve (id, name, assay, lot, created, a, b, instrUuid) values(6, 'AT 2023-08', 'AT', 'AT-2308D', '2023-08-28 15:31:17', 0.41, -0.19, '6d1f0c52-8a3e-4b7d-9e21-5c4a7f03b9d8');
insert into curve (id, name, assay, lot, created, a, b, instrUuid) values(7, 'II 2023-07', 'II', 'II-2307A', '2023-07-10 11:17:49', 1.95, -0.21, '6d1f0c52-8a3e-4b7d-9e21-5c4a7f03b9d8');
insert into curve (id, name, assay, lot, created, a, b, instrUuid) values(8, 'V 2023-07', 'V', 'V-2307A', '2023-07-11 11:18:56', 1.88, -0.21, '6d1f0c52-8a3e-4b7d-9e21-5c4a7f03b9d8');
insert into curve (id, name, assay, lot, created, a, b, instrUuid) values(9, 'VII 2023-07', 'VII', 'VII-2307A', '2023-07-12 11:19:03', 1.91, -0.21, '6d1f0c52-8a3e-4b7d-9e21-5c4a7f03b9d8');
insert into curve (id, name, assay, lot, created, a, b, instrUuid) values(10, 'VIII 2023-07', 'VIII', 'VIII-2307A', '2023-07-13 11:20:10', 2.02, -0.21, '6d1f0c52-8a3e-4b7d-9e21-5c4a7f03b9d8');
insert into curve (id, name, assay, lot, created, a, b, instrUuid) values(11, 'IX 2023-07', 'IX', 'IX-2307A', '2023-07-14 11:21:17', 1.97, -0.21, '6d1f0c52-8a3e-4b7d-9e21-5c4a7f03b9d8');
insert into curve (id, name, assay, lot, created, a, b, instrUuid) values(12, 'X 2023-07', 'X', 'X-2307A', '2023-07-15 11:22:24', 1.93, -0.21, '6d1f0c52-8a3e-4b7d-9e21-5c4a7f03b9d8');
insert into curve (id, name, assay, lot, created, a, b, instrUuid) values(13, 'XI 2023-07', 'XI', 'XI-2307A', '2023-07-16 11:23:31', 2.05, -0.21, '6d1f0c52-8a3e-4b7d-9e21-5c4a7f03b9d8');
insert into curve (id, name, assay, lot, created, a, b, instrUuid) values(14, 'XII 2023-07', 'XII', 'XII-2307A', '2023-07-17 11:24:38', 2.08, -0.21, '6d1f0c52-8a3e-4b7d-9e21-5c4a7f03b9d8');
insert into curve (id, name, assay, lot, created, a, b, instrUuid) values(15, 'PT 2023-03', 'PT', 'PT-2303B', '2023-03-06 09:44:12', 1.6, -0.37, '6d1f0c52-8a3e-4b7d-9e21-5c4a7f03b9d8');

insert into curvePoint (id, curveId, x, y) values(1, 1, 12.5, 15.95);
insert into curvePoint (id, curveId, x, y) values(2, 1, 25.0, 12.28);
insert into curvePoint (id, curveId, x, y) values(3, 1, 50.0, 9.51);
insert into curvePoint (id, curveId, x, y) values(4, 1, 100.0, 7.24);
insert into curvePoint (id, curveId, x, y) values(5, 2, 0.14, 1.08);
insert into curvePoint (id, curveId, x, y) values(6, 2, 0.17, 1.38);
insert into curvePoint (id, curveId, x, y) values(7, 2, 0.21, 1.78);
insert into curvePoint (id, curveId, x, y) values(8, 2, 0.26, 2.34);
insert into curvePoint (id, curveId, x, y) values(9, 3, 0.8, 37.59);
insert into curvePoint (id, curveId, x, y) values(10, 3, 1.6, 19.25);
insert into curvePoint (id, curveId, x, y) values(11, 3, 3.2, 9.69);
insert into curvePoint (id, curveId, x, y) values(12, 3, 6.4, 4.97);
insert into curvePoint (id, curveId, x, y) values(13, 4, 0.25, -0.0496);
insert into curvePoint (id, curveId, x, y) values(14, 4, 0.5, -0.0146);
insert into curvePoint (id, curveId, x, y) values(15, 4, 1.0, 0.0211);
insert into curvePoint (id, curveId, x, y) values(16, 4, 2.0, 0.056);
insert into curvePoint (id, curveId, x, y) values(17, 4, 4.0, 0.0929);
insert into curvePoint (id, curveId, x, y) values(18, 4, 8.0, 0.1288);
insert into curvePoint (id, curveId, x, y) values(19, 5, 2.5, 0.0496);
insert into curvePoint (id, curveId, x, y) values(20, 5, 5.0, 0.0779);
insert into curvePoint (id, curveId, x, y) values(21, 5, 10.0, 0.1053);
insert into curvePoint (id, curveId, x, y) values(22, 5, 20.0, 0.133);
insert into curvePoint (id, curveId, x, y) values(23, 5, 40.0, 0.1627);
insert into curvePoint (id, curveId, x, y) values(24, 5, 80.0, 0.1892);
insert into curvePoint (id, curveId, x, y) values(25, 6, 25.0, 0.1435);
insert into curvePoint (id, curveId, x, y) values(26, 6, 50.0, 0.0867);
insert into curvePoint (id, curveId, x, y) values(27, 6, 75.0, 0.0532);
insert into curvePoint (id, curveId, x, y) values(28, 6, 100.0, 0.03);
insert into curvePoint (id, curveId, x, y) values(29, 6, 125.0, 0.0116);
insert into curvePoint (id, curveId, x, y) values(30, 7, 1.5625, 81.71);
insert into curvePoint (id, curveId, x, y) values(31, 7, 3.125, 70.19);
insert into curvePoint (id, curveId, x, y) values(32, 7, 6.25, 60.82);
insert into curvePoint (id, curveId, x, y) values(33, 7, 12.5, 52.44);
insert into curvePoint (id, curveId, x, y) values(34, 7, 25.0, 45.48);
insert into curvePoint (id, curveId, x, y) values(35, 7, 50.0, 39.16);
insert into curvePoint (id, curveId, x, y) values(36, 7, 100.0, 33.73);
insert into curvePoint (id, curveId, x, y) values(37, 8, 1.5625, 69.76);
insert into curvePoint (id, curveId, x, y) values(38, 8, 3.125, 60.31);
insert into curvePoint (id, curveId, x, y) values(39, 8, 6.25, 51.98);
insert into curvePoint (id, curveId, x, y) values(40, 8, 12.5, 44.82);
insert into curvePoint (id, curveId, x, y) values(41, 8, 25.0, 38.44);
insert into curvePoint (id, curveId, x, y) values(42, 8, 50.0, 33.18);
insert into curvePoint (id, curveId, x, y) values(43, 8, 100.0, 28.72);
insert into curvePoint (id, curveId, x, y) values(44, 9, 1.5625, 73.38);
insert into curvePoint (id, curveId, x, y) values(45, 9, 3.125, 64.33);
insert into curvePoint (id, curveId, x, y) values(46, 9, 6.25, 55.21);
insert into curvePoint (id, curveId, x, y) values(47, 9, 12.5, 48.16);
insert into curvePoint (id, curveId, x, y) values(48, 9, 25.0, 41.25);
insert into curvePoint (id, curveId, x, y) values(49, 9, 50.0, 36.07);
insert into curvePoint (id, curveId, x, y) values(50, 9, 100.0, 31.12);
insert into curvePoint (id, curveId, x, y) values(51, 10, 1.5625, 94.39);
insert into curvePoint (id, curveId, x, y) values(52, 10, 3.125, 81.95);
insert into curvePoint (id, curveId, x, y) values(53, 10, 6.25, 71.85);
insert into curvePoint (id, curveId, x, y) values(54, 10, 12.5, 61.57);
insert into curvePoint (id, curveId, x, y) values(55, 10, 25.0, 53.78);
insert into curvePoint (id, curveId, x, y) values(56, 10, 50.0, 45.95);
insert into curvePoint (id, curveId, x, y) values(57, 10, 100.0, 39.47);
insert into curvePoint (id, curveId, x, y) values(58, 11, 1.5625, 85.2);
insert into curvePoint (id, curveId, x, y) values(59, 11, 3.125, 73.87);
insert into curvePoint (id, curveId, x, y) values(60, 11, 6.25, 63.22);
insert into curvePoint (id, curveId, x, y) values(61, 11, 12.5, 54.46);
insert into curvePoint (id, curveId, x, y) values(62, 11, 25.0, 47.31);
insert into curvePoint (id, curveId, x, y) values(63, 11, 50.0, 41.42);
insert into curvePoint (id, curveId, x, y) values(64, 11, 100.0, 35.66);
insert into curvePoint (id, curveId, x, y) values(65, 12, 1.5625, 76.91);
insert into curvePoint (id, curveId, x, y) values(66, 12, 3.125, 66.66);
insert into curvePoint (id, curveId, x, y) values(67, 12, 6.25, 57.46);
insert into curvePoint (id, curveId, x, y) values(68, 12, 12.5, 49.64);
insert into curvePoint (id, curveId, x, y) values(69, 12, 25.0, 43.55);
insert into curvePoint (id, curveId, x, y) values(70, 12, 50.0, 37.19);
insert into curvePoint (id, curveId, x, y) values(71, 12, 100.0, 32.4);
insert into curvePoint (id, curveId, x, y) values(72, 13, 1.5625, 102.06);
insert into curvePoint (id, curveId, x, y) values(73, 13, 3.125, 87.78);
insert into curvePoint (id, curveId, x, y) values(74, 13, 6.25, 76.71);
insert into curvePoint (id, curveId, x, y) values(75, 13, 12.5, 65.53);
insert into curvePoint (id, curveId, x, y) values(76, 13, 25.0, 57.24);
insert into curvePoint (id, curveId, x, y) values(77, 13, 50.0, 48.96);
insert into curvePoint (id, curveId, x, y) values(78, 13, 100.0, 42.59);
insert into curvePoint (id, curveId, x, y) values(79, 14, 1.5625, 108.84);
insert into curvePoint (id, curveId, x, y) values(80, 14, 3.125, 94.21);
insert into curvePoint (id, curveId, x, y) values(81, 14, 6.25, 82.59);
insert into curvePoint (id, curveId, x, y) values(82, 14, 12.5, 71.17);
insert into curvePoint (id, curveId, x, y) values(83, 14, 25.0, 60.92);
insert into curvePoint (id, curveId, x, y) values(84, 14, 50.0, 53.28);
insert into curvePoint (id, curveId, x, y) values(85, 14, 100.0, 45.44);
insert into curvePoint (id, curveId, x, y) values(86, 15, 12.5, 15.6);
insert into curvePoint (id, curveId, x, y) values(87, 15, 25.0, 12.19);
insert into curvePoint (id, curveId, x, y) values(88, 15, 50.0, 9.39);
insert into curvePoint (id, curveId, x, y) values(89, 15, 100.0, 7.19);

insert into curveVariable (curveId, name, value) values(1, 'r2', 0.9909);
insert into curveVariable (curveId, name, value) values(1, 'points', 4);
insert into curveVariable (curveId, name, value) values(2, 'r2', 0.9903);
insert into curveVariable (curveId, name, value) values(2, 'points', 4);
insert into curveVariable (curveId, name, value) values(3, 'r2', 0.9987);
insert into curveVariable (curveId, name, value) values(3, 'points', 4);
insert into curveVariable (curveId, name, value) values(4, 'r2', 0.9921);
insert into curveVariable (curveId, name, value) values(4, 'points', 6);
insert into curveVariable (curveId, name, value) values(5, 'r2', 0.9963);
insert into curveVariable (curveId, name, value) values(5, 'points', 6);
insert into curveVariable (curveId, name, value) values(6, 'r2', 0.9923);
insert into curveVariable (curveId, name, value) values(6, 'points', 5);
insert into curveVariable (curveId, name, value) values(7, 'r2', 0.9974);
insert into curveVariable (curveId, name, value) values(7, 'points', 7);
insert into curveVariable (curveId, name, value) values(8, 'r2', 0.9954);
insert into curveVariable (curveId, name, value) values(8, 'points', 7);
insert into curveVariable (curveId, name, value) values(9, 'r2', 0.9926);
insert into curveVariable (curveId, name, value) values(9, 'points', 7);
insert into curveVariable (curveId, name, value) values(10, 'r2', 0.9916);
insert into curveVariable (curveId, name, value) values(10, 'points', 7);
insert into curveVariable (curveId, name, value) values(11, 'r2', 0.9965);
insert into curveVariable (curveId, name, value) values(11, 'points', 7);
insert into curveVariable (curveId, name, value) values(12, 'r2', 0.9906);
insert into curveVariable (curveId, name, value) values(12, 'points', 7);
insert into curveVariable (curveId, name, value) values(13, 'r2', 0.9921);
insert into curveVariable (curveId, name, value) values(13, 'points', 7);
insert into curveVariable (curveId, name, value) values(14, 'r2', 0.995);
insert into curveVariable (curveId, name, value) values(14, 'points', 7);
insert into curveVariable (curveId, name, value) values(15, 'r2', 0.9977);
insert into curveVariable (curveId, name, value) values(15, 'points', 4);

insert into curveReagent (curveId, reagent, lot, expiry) values(1, 'PT reagent', 'PT-2309A', '2024-04-30');
insert into curveReagent (curveId, reagent, lot, expiry) values(2, 'PT reagent', 'PT-2309A', '2024-05-30');
insert into curveReagent (curveId, reagent, lot, expiry) values(3, 'FIB reagent', 'FIB-2310C', '2024-06-30');
insert into curveReagent (curveId, reagent, lot, expiry) values(4, 'DD reagent', 'DD-2310B', '2024-07-30');
insert into curveReagent (curveId, reagent, lot, expiry) values(5, 'FDP reagent', 'FDP-2310A', '2024-08-30');
insert into curveReagent (curveId, reagent, lot, expiry) values(6, 'AT deficient plasma', 'AT-2308D', '2024-09-30');
insert into curveReagent (curveId, reagent, lot, expiry) values(7, 'II deficient plasma', 'II-2307A', '2024-10-30');
insert into curveReagent (curveId, reagent, lot, expiry) values(8, 'V deficient plasma', 'V-2307A', '2024-11-30');
insert into curveReagent (curveId, reagent, lot, expiry) values(9, 'VII deficient plasma', 'VII-2307A', '2024-03-30');
insert into curveReagent (curveId, reagent, lot, expiry) values(10, 'VIII deficient plasma', 'VIII-2307A', '2024-04-30');
insert into curveReagent (curveId, reagent, lot, expiry) values(11, 'IX deficient plasma', 'IX-2307A', '2024-05-30');
insert into curveReagent (curveId, reagent, lot, expiry) values(12, 'X deficient plasma', 'X-2307A', '2024-06-30');
insert into curveReagent (curveId, reagent, lot, expiry) values(13, 'XI deficient plasma', 'XI-2307A', '2024-07-30');
insert into curveReagent (curveId, reagent, lot, expiry) values(14, 'XII deficient plasma', 'XII-2307A', '2024-08-30');
insert into curveReagent (curveId, reagent, lot, expiry) values(15, 'PT reagent', 'PT-2303B', '2024-09-30');

insert into curveInfo (curveId, name, value) values(3, 'fitMethod', 'loglog');
insert into curveInfo (curveId, name, value) values(3, 'residual', 0.0042);
insert into curveInfo (curveId, name, value) values(4, 'fitMethod', 'linear');
insert into curveInfo (curveId, name, value) values(4, 'residual', 0.0011);

insert into assayCalibration (name, curveId, funX, funY) values('PT', 1, 'Log', 'Log');
insert into assayCalibration (name, curveId, funX, funY) values('PT 演算 FIB', 2, 'Linear', 'Linear');
insert into assayCalibration (name, curveId, funX, funY) values('APTT', NULL, 'Linear', 'Linear');
insert into assayCalibration (name, curveId, funX, funY) values('FIB', 3, 'Log', 'Log');
insert into assayCalibration (name, curveId, funX, funY) values('TT', NULL, 'Linear', 'Linear');
insert into assayCalibration (name, curveId, funX, funY) values('DD', 4, 'Linear', 'Linear');
insert into assayCalibration (name, curveId, funX, funY) values('FDP', 5, 'Linear', 'Linear');
insert into assayCalibration (name, curveId, funX, funY) values('AT', 6, 'Linear', 'Linear');
insert into assayCalibration (name, curveId, funX, funY) values('II', 7, 'Log', 'Log');
insert into assayCalibration (name, curveId, funX, funY) values('V', 8, 'Log', 'Log');
insert into assayCalibration (name, curveId, funX, funY) values('VII', 9, 'Log', 'Log');
insert into assayCalibration (name, curveId, funX, funY) values('VIII', 10, 'Log', 'Log');
insert into assayCalibration (name, curveId, funX, funY) values('IX', 11, 'Log', 'Log');
insert into assayCalibration (name, curveId, funX, funY) values('X', 12, 'Log', 'Log');
insert into assayCalibration (name, curveId, funX, funY) values('XI', 13, 'Log', 'Log');
insert into assayCalibration (name, curveId, funX, funY) values('XII', 14, 'Log', 'Log');

insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(1, 1, 'PT reagent', 4000, 300, 2, 1);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(2, 1, 'APTT reagent', 2000, 200, 2, 2);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(3, 1, 'CaCl2 0.025M', 4000, 300, 2, 3);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(4, 1, 'FIB reagent', 2000, 200, 2, 4);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(5, 1, 'TT reagent', 2000, 200, 2, 5);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(6, 0, 'DD reagent', 2000, 200, 3, 6);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(10, 1, 'AT substrate', 1000, 100, 1, 8);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(11, 1, 'Factor deficient plasma II', 1000, 100, 1, 9);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(12, 3, 'Cleaner', 20000, 2000, 7, 23);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(13, 4, 'Calibrator plasma', 1000, 100, 1, 10);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(14, 4, 'Control plasma N', 1000, 100, 1, 11);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(15, 4, 'Control plasma P', 1000, 100, 1, 12);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(16, 0, 'Latex', 2000, 200, 3, NULL);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(17, 0, 'FDP', 2000, 200, 3, NULL);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(18, 2, 'Saline', 6500, 200, 6, NULL);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(19, 2, 'Buffer(PT)', 6500, 200, 6, NULL);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(20, 2, 'Buffer(APTT)', 6500, 200, 6, NULL);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(21, 2, 'Buffer(FIB)', 6500, 200, 6, NULL);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(22, 2, 'Buffer(TT)', 6500, 200, 6, NULL);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(23, 2, 'Buffer(DD)', 6500, 200, 6, NULL);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(24, 2, 'Buffer(EX)', 6500, 200, 6, NULL);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(25, 2, 'Buffer(EN)', 6500, 200, 6, NULL);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(26, 2, 'Buffer(FDP)', 6500, 200, 6, NULL);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(27, 5, 'DD ct', 1000, 200, 1, NULL);
insert into reagent (id, type, name, initVolume, alarmLimit, vialType, position) values(28, 5, 'FDP ct', 1000, 200, 1, NULL);

commit;
